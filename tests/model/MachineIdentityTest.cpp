#include "model/MachineIdentity.h"

#include "PrintTo.h"

#include <gtest/gtest.h>

#include <vector>

namespace nimbrook {
namespace {

QString display(const char* utf8) {
    return MachineIdentity::fromDisplayName(QString::fromUtf8(utf8));
}
QString host(const char* utf8) {
    return MachineIdentity::fromHostname(QString::fromUtf8(utf8));
}

TEST(MachineIdentityTest, DisplayNamesFoldToOneForm) {
    const std::pair<const char*, const char*> cases[] = {
        // Apostrophes are deleted, not separators; other quotation marks are
        // ordinary punctuation.
        {"Guest’s Laptop", "guests-laptop"},
        {"Guest's Laptop", "guests-laptop"},
        {"Guest\u02BCs Laptop", "guests-laptop"},
        {"Guest\u2018s Laptop", "guest-s-laptop"},
        {"Guest`s Laptop", "guest-s-laptop"},
        {"Rock ' Roll", "rock-roll"},
        // Separator runs collapse and vanish at the ends.
        {"Café Corner (2)", "cafe-corner-2"},
        {"  Studio  ", "studio"},
        {"Build_Box", "build-box"},
        {"a\tb\nc\x01"
         "d",
         "a-b-c-d"},
        {"--Lab--10--", "lab-10"},
        // Accents, case and width fold; a full-width apostrophe is deleted too.
        {"\uFF2C\uFF21\uFF22\uFF11", "lab1"},
        {"\u00C9LODIE\u2019S Mac", "elodies-mac"},
        {"Cafe\u0301", "cafe"},
        {"Guest\uFF07s", "guests"},
        {"\uFF8F\uFF6F\uFF78", "\u30DE\u30C3\u30AF"},
        // Other compatibility forms stay: a ligature, a superscript number.
        {"\uFB01le", "\uFB01le"},
        {"Lab\u00B2", "lab\u00B2"},
        // Other scripts keep their letters; Hangul stays composed; spacing
        // vowel signs (Mc) belong to their word.
        {"Студия Мак", "студия-мак"},
        {"研究室のMac", "研究室のmac"},
        {"한글 컴퓨터", "한글-컴퓨터"},
        {"\u0915\u093E\u0930 \u0918\u0930", "\u0915\u093E\u0930-\u0918\u0930"},
        // Without letters or digits: nothing.
        {"", ""},
        {"---", ""},
        {"\u2019\u2019", ""},
        {"!!!", ""},
        {".", ""},
        {"\U0001F600\U0001F600", ""},
    };
    for (const auto& [name, identity] : cases) {
        EXPECT_EQ(display(name), QString::fromUtf8(identity)) << name;
        EXPECT_EQ(display(identity), QString::fromUtf8(identity)) << identity; // fixed points
    }
}

TEST(MachineIdentityTest, HostNamesUseTheirFirstNonEmptyLabelAndMeetTheirDisplayForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"Guests-Laptop.local", "guests-laptop"},
        {"guests-laptop.home.arpa.", "guests-laptop"},
        {".local", "local"},
        {"..studio..local", "studio"},
        {"...", ""},
        {"", ""},
        {"Mac-Mini.tail1234.ts.net.", "mac-mini"},
        // Only "." splits: other punctuation inside the label is a separator.
        {"jane's mac_mini.local", "janes-mac-mini"},
    };
    for (const auto& [name, identity] : cases)
        EXPECT_EQ(host(name), QString::fromUtf8(identity)) << name;
}

TEST(MachineIdentityTest, HostileInputGivesADefinedIdentity) {
    // Unpaired surrogates act as separators; they never crash or vanish words.
    QString lone = QStringLiteral("ab");
    lone.insert(1, QChar(0xD800));
    EXPECT_EQ(MachineIdentity::fromDisplayName(lone), QStringLiteral("a-b"));
    QString trailingHigh = QStringLiteral("mac");
    trailingHigh.append(QChar(0xDBFF));
    EXPECT_EQ(MachineIdentity::fromDisplayName(trailingHigh), QStringLiteral("mac"));
    QString reversedPair = QStringLiteral("x");
    reversedPair.append(QChar(0xDC00)).append(QChar(0xD800)).append(u'y');
    EXPECT_EQ(MachineIdentity::fromDisplayName(reversedPair), QStringLiteral("x-y"));

    // Dropping a mark between two unpaired surrogates must not fuse them into
    // a character (here U+E01DB, itself a mark) that then joins the words.
    QString fusable = QStringLiteral("x");
    fusable.append(QChar(0xDB40)).append(QChar(0x0301)).append(QChar(0xDDDB)).append(u'y');
    EXPECT_EQ(MachineIdentity::fromDisplayName(fusable), QStringLiteral("x-y"));

    // NUL and other controls are separators.
    EXPECT_EQ(MachineIdentity::fromDisplayName(QString(QStringLiteral("a") + QChar(0) + u'b')),
              QStringLiteral("a-b"));

    const QString longName = QString(10000, u'\u00C9');
    EXPECT_EQ(MachineIdentity::fromDisplayName(longName), QString(10000, u'e'));
    const QString longPunctuation = QString(10000, u'!');
    EXPECT_EQ(MachineIdentity::fromDisplayName(longPunctuation), QString());
}

// Latin names take a quicker way; any other character sends the whole name the
// full way, which must come to the same identity.
TEST(MachineIdentityTest, LatinNamesFoldAsTheFullWayFoldsThem) {
    std::vector<char16_t> units{0x2019, 0x02BC};
    for (char16_t unit = 0x80; unit < 0x250; ++unit)
        units.push_back(unit);
    for (const char16_t unit : units) {
        const QString c(QChar{unit});
        const QString name = QStringLiteral("a") + c + QStringLiteral("B ") + c + c + u'1';
        EXPECT_EQ(MachineIdentity::fromDisplayName(name),
                  MachineIdentity::fromDisplayName(name + QStringLiteral(" \u0300")))
            << std::hex << int(unit);
    }
}

} // namespace
} // namespace nimbrook
