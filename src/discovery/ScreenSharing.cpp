#include "discovery/Discovery.h"

#include "platform/UrlOpener.h"

#include <QLoggingCategory>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcConnect, "nimbrook.connect", QtWarningMsg)

void Discovery::connect(const RemoteMac& mac) {
    if (mac.address.isEmpty())
        return;
    // A double click, a click repeated by a menu host, or a burst of them is
    // one session: viewers open a second one for the same machine.
    const ContinuousClock::time_point now = platform_.scheduler.now();
    const QString machine = mac.rowIdentity();
    if (const auto last = lastOpened_.constFind(machine);
        last != lastOpened_.cend() && now - *last < reopenInterval) {
        qCDebug(lcConnect) << "opened moments ago:" << machine;
        return;
    }
    lastOpened_.removeIf(
        [now](const auto& entry) { return now - entry.value() >= reopenInterval; });
    lastOpened_.insert(machine, now);
    const std::optional<QUrl> url = vncUrl(mac.address);
    if (!url) {
        qCDebug(lcConnect) << "not a plain address:" << mac.address;
        return;
    }
    const UrlOpener::Result opened = platform_.urlOpener.open(*url);
    if (opened.outcome != UrlOpener::Outcome::opened) {
        qCDebug(lcConnect) << "no viewer opened" << url->toString();
        emit connectFailed(mac, opened);
    }
}

} // namespace nimbrook
