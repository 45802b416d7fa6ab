#include "platform/linux/GioUrlOpener.h"

#include "TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

[[nodiscard]] ::testing::AssertionResult write(const QString& path, const QByteArray& contents,
                                               QFile::Permissions permissions = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
    if (permissions)
        file.setPermissions(permissions);
    return ::testing::AssertionSuccess();
}

// The handler is found as the desktop finds it (here: only in a home of the
// test's own), started with the URL and without our activation token; a
// scheme nothing handles is said so, not lost.
TEST(GioUrlOpenerTest, StartsTheDesktopsHandlerOrSaysThereIsNone) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString record = home.filePath(QStringLiteral("opened.txt"));
    ASSERT_TRUE(
        write(home.filePath(QStringLiteral("viewer.sh")),
              "#!/bin/sh\nprintf '%s token=%s\\n' \"$1\" \"${XDG_ACTIVATION_TOKEN:-none}\" >" +
                  record.toUtf8() + "\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(write(home.filePath(QStringLiteral("data/applications/test-viewer.desktop")),
                      "[Desktop Entry]\nType=Application\nName=Test Viewer\nExec=" +
                          home.filePath(QStringLiteral("viewer.sh")).toUtf8() +
                          " %u\nMimeType=x-scheme-handler/vnc;\n"));
    ASSERT_TRUE(write(home.filePath(QStringLiteral("config/mimeapps.list")),
                      "[Default Applications]\nx-scheme-handler/vnc=test-viewer.desktop\n"));
    // Only the test's own applications: none of the machine's.
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_DIRS", home.filePath(QStringLiteral("none")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", home.filePath(QStringLiteral("none")).toUtf8());
    qputenv("XDG_ACTIVATION_TOKEN", "ours");

    GioUrlOpener opener;
    const UrlOpener::Result opened =
        opener.open(QUrl(QStringLiteral("vnc://[fe80::1%25eth0]:5901")));
    qunsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(opened.outcome, UrlOpener::Outcome::opened);
    EXPECT_EQ(opened.handler, QStringLiteral("Test Viewer"));
    const auto recorded = [&record] {
        QFile file(record);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    ASSERT_TRUE(testing::waitFor([&] { return recorded().endsWith('\n'); }));
    EXPECT_EQ(recorded(), "vnc://[fe80::1%25eth0]:5901 token=none\n");

    const UrlOpener::Result none = opener.open(QUrl(QStringLiteral("nimbrook-nothing://x")));
    EXPECT_EQ(none.outcome, UrlOpener::Outcome::noHandler);
}

} // namespace
} // namespace nimbrook
