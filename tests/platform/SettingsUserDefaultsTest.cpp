#include "platform/qt/SettingsUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

TEST(SettingsUserDefaultsTest, ReadsTextsAndSeesEditsWithoutARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Nimbrook.conf"));
    const SettingsUserDefaults defaults(ini);
    const QString key = QStringLiteral("TailscaleCLIPath");

    EXPECT_EQ(defaults.stringForKey(key), std::nullopt); // no file yet

    writeFile(ini, "[General]\nTailscaleCLIPath=/opt/tailscale/bin/tailscale\n");
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/opt/tailscale/bin/tailscale"));

    writeFile(ini, "[General]\nTailscaleCLIPath=\"/home/Jane Doe/bin/tailscale, v2\"\n");
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/home/Jane Doe/bin/tailscale, v2"));

    writeFile(ini, "[General]\nTailscaleCLIPath=\n");
    EXPECT_EQ(defaults.stringForKey(key), QString());

    // An unquoted comma makes a list, which is not a path.
    writeFile(ini, "[General]\nTailscaleCLIPath=a, b\n");
    EXPECT_EQ(defaults.stringForKey(key), std::nullopt);
}

TEST(SettingsUserDefaultsTest, TheDefaultFileIsTheUsersNimbrookConfig) {
    const SettingsUserDefaults defaults;
    EXPECT_TRUE(defaults.fileName().endsWith(QStringLiteral("/Nimbrook/Nimbrook.conf")))
        << defaults.fileName().toStdString();
}

} // namespace
} // namespace nimbrook
