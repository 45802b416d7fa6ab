#include "discovery/Discovery.h"

#include "FakeTools.h"
#include "PrintTo.h"

#include <gtest/gtest.h>

namespace nimbrook::testing {
namespace {

const QString appBundleTool =
    QStringLiteral("/Applications/Tailscale.app/Contents/MacOS/Tailscale");

class TailscaleCliTest : public ::testing::Test {
protected:
    std::optional<QString> locate() const { return Discovery::locateCLI(files, defaults); }
    FakeFileSystem files;
    FakeUserDefaults defaults;
};

TEST_F(TailscaleCliTest, NothingExecutableMeansNoTool) {
    files.home = QStringLiteral("/home/Jane Doe");
    EXPECT_EQ(locate(), std::nullopt);
    // Every candidate was tried, in order (the one in the home folder, its
    // spaces kept, after the fixed ones), ending with the Linux locations.
    EXPECT_EQ(
        files.tested,
        (QStringList{appBundleTool, QStringLiteral("/opt/homebrew/bin/tailscale"),
                     QStringLiteral("/usr/local/bin/tailscale"),
                     QStringLiteral("/opt/local/bin/tailscale"),
                     QStringLiteral("/home/Jane Doe/Applications/Tailscale.app/"
                                    "Contents/MacOS/Tailscale"),
                     QStringLiteral("/usr/bin/tailscale"), QStringLiteral("/usr/sbin/tailscale"),
                     QStringLiteral("/snap/bin/tailscale")}));

    // Nothing is cached: the tool is looked for afresh every time.
    files.executables = {QStringLiteral("/snap/bin/tailscale")};
    EXPECT_EQ(locate(), QStringLiteral("/snap/bin/tailscale"));
    files.executables.clear();
    EXPECT_EQ(locate(), std::nullopt);
}

TEST_F(TailscaleCliTest, TheUserDefaultComesFirstAndIsUsedAsWritten) {
    files.executables = {QStringLiteral("/srv/tools/tailscale"), appBundleTool};
    defaults.values[QStringLiteral("TailscaleCLIPath")] = QStringLiteral("/srv/tools/tailscale");
    EXPECT_EQ(locate(), QStringLiteral("/srv/tools/tailscale"));

    // No trimming and no "~" expansion: such a path is simply not found.
    defaults.values[QStringLiteral("TailscaleCLIPath")] = QStringLiteral(" /srv/tools/tailscale");
    EXPECT_EQ(locate(), appBundleTool);
    defaults.values[QStringLiteral("TailscaleCLIPath")] = QStringLiteral("~/tailscale");
    files.executables.insert(QStringLiteral("/home/jane/tailscale"));
    EXPECT_EQ(locate(), appBundleTool);

    // An empty or missing one is skipped.
    defaults.values[QStringLiteral("TailscaleCLIPath")] = QString();
    files.executables = {QStringLiteral("/usr/bin/tailscale")};
    files.tested.clear();
    EXPECT_EQ(locate(), QStringLiteral("/usr/bin/tailscale"));
    EXPECT_EQ(files.tested.first(), appBundleTool);

    defaults.values[QStringLiteral("TailscaleCLIPath")] = QStringLiteral("/nowhere/tailscale");
    EXPECT_EQ(locate(), QStringLiteral("/usr/bin/tailscale"));
}

} // namespace
} // namespace nimbrook::testing
