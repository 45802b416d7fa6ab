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

TEST(MachineIdentityTest, ApostrophesAreDeletedNotSeparators) {
    EXPECT_EQ(display("Guest\u2019s Laptop"), QStringLiteral("guests-laptop"));
    EXPECT_EQ(display("Guest's Laptop"), QStringLiteral("guests-laptop"));
    EXPECT_EQ(display("Guest\u02BCs Laptop"), QStringLiteral("guests-laptop"));
    // Other quotation marks are ordinary punctuation.
    EXPECT_EQ(display("Guest\u2018s Laptop"), QStringLiteral("guest-s-laptop"));
    EXPECT_EQ(display("Guest`s Laptop"), QStringLiteral("guest-s-laptop"));
    // A deleted apostrophe between separators leaves a single separator.
    EXPECT_EQ(display("Rock ' Roll"), QStringLiteral("rock-roll"));
}

TEST(MachineIdentityTest, HostAndDisplayFormsOfOneMachineMeet) {
    const QString fromDisplay = display("Guest\u2019s Laptop");
    EXPECT_EQ(host("Guests-Laptop.local"), fromDisplay);
    EXPECT_EQ(host("guests-laptop.home.arpa."), fromDisplay);
    EXPECT_EQ(host("Guests-Laptop"), fromDisplay);
}

TEST(MachineIdentityTest, SeparatorRunsCollapseAndVanishAtTheEnds) {
    EXPECT_EQ(display("Caf\u00e9 Corner (2)"), QStringLiteral("cafe-corner-2"));
    EXPECT_EQ(display("  Studio  "), QStringLiteral("studio"));
    EXPECT_EQ(display("Build_Box"), QStringLiteral("build-box"));
    EXPECT_EQ(display("A -- B"), QStringLiteral("a-b"));
    EXPECT_EQ(display("a\tb\nc\x01"
                      "d"),
              QStringLiteral("a-b-c-d"));
    EXPECT_EQ(display("--Lab--10--"), QStringLiteral("lab-10"));
}

TEST(MachineIdentityTest, AccentsCaseAndWidthFold) {
    EXPECT_EQ(display("\uFF2C\uFF21\uFF22\uFF11"), QStringLiteral("lab1")); // ＬＡＢ１
    EXPECT_EQ(display("\u00C9LODIE\u2019S Mac"), QStringLiteral("elodies-mac"));
    // Precomposed and decomposed accents give the same identity.
    EXPECT_EQ(display("Cafe\u0301"), display("Caf\u00e9"));
    // A full-width apostrophe folds to "'" first and is then deleted.
    EXPECT_EQ(display("Guest\uFF07s"), QStringLiteral("guests"));
    // Half-width katakana widen to their ordinary forms.
    EXPECT_EQ(display("\uFF8F\uFF6F\uFF78"), display("\u30DE\u30C3\u30AF"));
}

TEST(MachineIdentityTest, WidthFoldingLeavesOtherCompatibilityFormsAlone) {
    // U+FB01 LATIN SMALL LIGATURE FI is a compatibility form, not a width form.
    EXPECT_EQ(display("\uFB01le"), QString::fromUtf8("\uFB01le"));
    // Superscript two is a number (No) and stays what it is.
    EXPECT_EQ(display("Lab\u00B2"), QString::fromUtf8("lab\u00B2"));
}

TEST(MachineIdentityTest, TextWithoutLettersOrDigitsIsEmpty) {
    for (const char* name : {"", "---", "\u2019\u2019", "!!!", "   ", ".", "\U0001F600\U0001F600"})
        EXPECT_EQ(display(name), QString()) << name;
}

TEST(MachineIdentityTest, HostnameUsesTheFirstNonEmptyLabel) {
    EXPECT_EQ(host(".local"), QStringLiteral("local"));
    EXPECT_EQ(host("..studio..local"), QStringLiteral("studio"));
    EXPECT_EQ(host("..."), QString());
    EXPECT_EQ(host(""), QString());
    EXPECT_EQ(host("Mac-Mini.tail1234.ts.net."), QStringLiteral("mac-mini"));
    // Only "." splits: other punctuation inside the label is a separator.
    EXPECT_EQ(host("jane's mac_mini.local"), QStringLiteral("janes-mac-mini"));
}

TEST(MachineIdentityTest, NonLatinScriptsKeepTheirLetters) {
    EXPECT_EQ(display("\u0421\u0442\u0443\u0434\u0438\u044F \u041C\u0430\u043A"),
              QString::fromUtf8("\u0441\u0442\u0443\u0434\u0438\u044F-\u043C\u0430\u043A"));
    EXPECT_EQ(display("\u7814\u7A76\u5BA4\u306EMac"),
              QString::fromUtf8("\u7814\u7A76\u5BA4\u306Emac"));
    EXPECT_EQ(display("\uD55C\uAE00 \uCEF4\uD4E8\uD130"),
              QString::fromUtf8("\uD55C\uAE00-\uCEF4\uD4E8\uD130")); // Hangul stays composed
    // Spacing vowel signs (category Mc) are part of the word, not separators.
    EXPECT_EQ(display("\u0915\u093E\u0930 \u0918\u0930"),
              QString::fromUtf8("\u0915\u093E\u0930-\u0918\u0930"));
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
    const char16_t found[] = {0x2c34, 0xdb21, 0xdb40, 0xdb40, 0xdddb, 0xdddb, 0xdbdb, 0x0042};
    const QString fuzzed(reinterpret_cast<const QChar*>(found), 8);
    const QString identity = MachineIdentity::fromDisplayName(fuzzed);
    EXPECT_EQ(MachineIdentity::fromDisplayName(identity), identity);

    // NUL and other controls are separators.
    EXPECT_EQ(MachineIdentity::fromDisplayName(QString(QStringLiteral("a") + QChar(0) + u'b')),
              QStringLiteral("a-b"));

    const QString longName = QString(10000, u'\u00C9');
    EXPECT_EQ(MachineIdentity::fromDisplayName(longName), QString(10000, u'e'));
    const QString longPunctuation = QString(10000, u'!');
    EXPECT_EQ(MachineIdentity::fromDisplayName(longPunctuation), QString());
}

TEST(MachineIdentityTest, IdentitiesAreFixedPoints) {
    for (const char* name :
         {"Guest\u2019s Laptop", "Caf\u00e9 Corner (2)", "\uFF2C\uFF21\uFF22\uFF11",
          "\u0421\u0442\u0443\u0434\u0438\u044F", "Mac mini (M2)"}) {
        const QString identity = display(name);
        EXPECT_EQ(MachineIdentity::fromDisplayName(identity), identity) << name;
        EXPECT_EQ(MachineIdentity::fromHostname(identity), identity) << name;
    }
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
