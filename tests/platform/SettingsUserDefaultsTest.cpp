#include "platform/qt/SettingsUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

[[nodiscard]] ::testing::AssertionResult writeFile(const QString& path,
                                                   const QByteArray& contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
    return ::testing::AssertionSuccess();
}

TEST(SettingsUserDefaultsTest, ReadsTextsAndSeesEditsWithoutARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Nimbrook.conf"));
    const SettingsUserDefaults defaults(ini);
    const QString key = QStringLiteral("TailscaleCLIPath");

    EXPECT_EQ(defaults.stringForKey(key), std::nullopt); // no file yet

    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=/opt/tailscale/bin/tailscale\n"));
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/opt/tailscale/bin/tailscale"));

    ASSERT_TRUE(
        writeFile(ini, "[General]\nTailscaleCLIPath=\"/home/Jane Doe/bin/tailscale, v2\"\n"));
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/home/Jane Doe/bin/tailscale, v2"));

    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=\n"));
    EXPECT_EQ(defaults.stringForKey(key), QString());

    // An unquoted comma makes a list, which is not a path.
    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=a, b\n"));
    EXPECT_EQ(defaults.stringForKey(key), std::nullopt);
}

TEST(SettingsUserDefaultsTest, ListsAreReadAndWrittenWithoutLosingHandEdits) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Nimbrook.conf"));
    SettingsUserDefaults defaults(ini);
    const QString key = QStringLiteral("PinnedMachines");
    ASSERT_TRUE(writeFile(ini, "[General]\nPinnedMachines=studio\nTailscaleCLIPath=/opt/ts\n"));
    EXPECT_EQ(defaults.stringListForKey(key), QStringList{QStringLiteral("studio")});
    ASSERT_TRUE(
        writeFile(ini, "[General]\nPinnedMachines=studio, mini\nTailscaleCLIPath=/opt/ts\n"));
    EXPECT_EQ(defaults.stringListForKey(key),
              (QStringList{QStringLiteral("studio"), QStringLiteral("mini")}));

    // The user edits the file by hand; our write keeps their edit.
    const SettingsUserDefaults other(ini);
    ASSERT_TRUE(
        writeFile(ini, "[General]\nPinnedMachines=studio\nTailscaleCLIPath=/usr/local/bin/ts\n"));
    ASSERT_TRUE(defaults.setStringList(key, {QStringLiteral("studio"), QStringLiteral("air")}));
    EXPECT_EQ(other.stringForKey(QStringLiteral("TailscaleCLIPath")),
              QStringLiteral("/usr/local/bin/ts"));
    EXPECT_EQ(other.stringListForKey(key),
              (QStringList{QStringLiteral("studio"), QStringLiteral("air")}));
    EXPECT_EQ(defaults.stringListForKey(QStringLiteral("NotifyWhenOnline")), std::nullopt);
}

TEST(SettingsUserDefaultsTest, TheDefaultFileIsTheUsersNimbrookConfig) {
    const SettingsUserDefaults defaults;
    EXPECT_TRUE(defaults.fileName().endsWith(QStringLiteral("/Nimbrook/Nimbrook.conf")))
        << defaults.fileName().toStdString();
}

} // namespace
} // namespace nimbrook
