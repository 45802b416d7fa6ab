// The panel with N machines: how long from its first activation (building the
// content, laying it out, showing and painting it) and how much more resident
// memory it costs than before it existed. One size per process, so that
// memory figures do not mix: `panel_bench N REPORT`, where REPORT is a
// `tailscale status --json` report with (at least) N Macs.
#include "discovery/Discovery.h"
#include "ui/MenuActions.h"
#include "ui/MenuContent.h"

#include "FakeNetwork.h"
#include "FakeScheduler.h"
#include "FakeTools.h"

#include <QApplication>
#include <QBoxLayout>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>

#include <cstdio>
#include <unistd.h>

namespace {

double residentMegabytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / 1e6
                             : 0;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: panel_bench N REPORT\n");
        return 2;
    }
    using namespace nimbrook;
    using namespace nimbrook::testing;
    const int wanted = QByteArray(argv[1]).toInt();
    QFile reportFile(QString::fromLocal8Bit(argv[2]));
    if (!reportFile.open(QIODevice::ReadOnly))
        return 2;

    FakeScheduler scheduler;
    FakeServiceBrowsing browsing;
    FakePathMonitoring paths;
    FakeToolRunner tools;
    FakeFileSystem files;
    files.executables = {QStringLiteral("/usr/bin/tailscale")};
    FakeUserDefaults defaults;
    FakeConnecting connecting;
    FakeLocalNames localNames;
    FakeUrlOpener urls;
    Discovery discovery(DiscoveryPlatform{scheduler, browsing, paths, tools, files, defaults,
                                          connecting, localNames, urls});
    discovery.start();
    tools.latest().finish(reportFile.readAll());
    scheduler.runPending();
    if (discovery.macs().size() < wanted) {
        std::fprintf(stderr, "the report lists %lld Macs, not %d\n",
                     static_cast<long long>(discovery.macs().size()), wanted);
        return 2;
    }
    // Exactly N: drop the rest through the list the panel reads.
    while (discovery.macs().size() > wanted)
        const_cast<QList<RemoteMac>&>(discovery.macs()).removeLast();

    // Settle what the first use of widgets costs anyway (fonts, style).
    {
        QWidget warm;
        warm.show();
        warm.grab();
    }
    QApplication::processEvents();
    const double before = residentMegabytes();
    QElapsedTimer timer;
    timer.start();
    QWidget panel(nullptr, Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    MenuActions actions(discovery, {}, {});
    layout->addWidget(new MenuContent(discovery, actions));
    panel.show();
    const QPixmap painted = panel.grab(); // one full paint, as the screen would get
    const double showMs = double(timer.nsecsElapsed()) / 1e6;
    QApplication::processEvents();
    const double after = residentMegabytes();
    std::printf("%d %.1f %.1f %dx%d\n", wanted, showMs, after - before, painted.width(),
                painted.height());
    return 0;
}
