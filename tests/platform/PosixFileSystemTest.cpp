#include "platform/linux/PosixFileSystem.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace nimbrook {
namespace {

TEST(PosixFileSystemTest, OnlyExecutableRegularFilesCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("tool with space"));
    const QString data = dir.filePath(QStringLiteral("data"));
    for (const QString& path : {program, data}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    ASSERT_TRUE(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner));

    const PosixFileSystem files;
    EXPECT_TRUE(files.isExecutableFile(program));
    EXPECT_FALSE(files.isExecutableFile(data));
    EXPECT_FALSE(files.isExecutableFile(dir.path())); // searchable, but not a program
    EXPECT_FALSE(files.isExecutableFile(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(files.isExecutableFile(QString()));
}

TEST(PosixFileSystemTest, HomeComesFromHomeOrElseThePasswordDatabase) {
    const QByteArray saved = qgetenv("HOME");
    const PosixFileSystem files;

    qputenv("HOME", "/home/Jane Doe");
    EXPECT_EQ(files.homeDirectory(), QStringLiteral("/home/Jane Doe"));

    qunsetenv("HOME");
    const QString fromPasswd = files.homeDirectory();
    EXPECT_TRUE(fromPasswd.startsWith(u'/')) << fromPasswd.toStdString();

    qputenv("HOME", "relative/path"); // not usable: fall back
    EXPECT_EQ(files.homeDirectory(), fromPasswd);

    qputenv("HOME", saved);
}

} // namespace
} // namespace nimbrook
