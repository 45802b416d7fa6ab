#include "discovery/NameCollation.h"

#include "PrintTo.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace nimbrook {
namespace {

QStringList sorted(const NameCollation& collation, QStringList names) {
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return collation.compare(a, b) < 0;
    });
    return names;
}

TEST(NameCollationTest, DigitRunsCompareByValueCaseAndWidthAreIgnored) {
    const NameCollation collation(QLocale(QLocale::English, QLocale::UnitedStates));
    // Full-width "Ｂ" sorts with the b's, not after "Zulu".
    EXPECT_EQ(
        sorted(collation, {QStringLiteral("Lab 10"), QStringLiteral("lab 2"),
                           QStringLiteral("Lab 3"), QStringLiteral("alpha"), QStringLiteral("Zulu"),
                           QStringLiteral("beta 007"), QStringLiteral("\uFF22")}),
        (QStringList{QStringLiteral("alpha"), QStringLiteral("\uFF22"), QStringLiteral("beta 007"),
                     QStringLiteral("lab 2"), QStringLiteral("Lab 3"), QStringLiteral("Lab 10"),
                     QStringLiteral("Zulu")}));
}

TEST(NameCollationTest, OnlyIdenticalTextsCompareEqual) {
    const NameCollation collation(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString pairs[][2] = {{QStringLiteral("Studio"), QStringLiteral("studio")},
                                {QStringLiteral("\uFF33tudio"), QStringLiteral("Studio")},
                                {QStringLiteral("Lab 2"), QStringLiteral("Lab 02")}};
    for (const auto& pair : pairs) {
        const int forward = collation.compare(pair[0], pair[1]);
        EXPECT_NE(forward, 0) << pair[0].toStdString();
        EXPECT_EQ(forward<0, collation.compare(pair[1], pair[0])> 0);
        EXPECT_EQ(collation.compare(collation.key(pair[0]), collation.key(pair[1])) < 0,
                  forward < 0);
    }
    EXPECT_EQ(collation.compare(QStringLiteral("Studio"), QStringLiteral("Studio")), 0);
}

TEST(NameCollationTest, TheCLocaleStillCollatesNumerically) {
    const NameCollation collation(QLocale::c());
    EXPECT_LT(collation.compare(QStringLiteral("Lab 2"), QStringLiteral("lab 10")), 0);
    EXPECT_LT(collation.compare(QStringLiteral("alpha"), QStringLiteral("Zulu")), 0);
}

} // namespace
} // namespace nimbrook
