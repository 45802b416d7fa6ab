#include "discovery/Discovery.h"

#include "platform/UrlOpener.h"

#include <QLoggingCategory>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcConnect, "nimbrook.connect", QtWarningMsg)

void Discovery::connect(const RemoteMac& mac) {
    if (mac.address.isEmpty())
        return;
    const std::optional<QUrl> url = vncUrl(mac.address);
    if (!url) {
        qCDebug(lcConnect) << "not a plain address:" << mac.address;
        return;
    }
    if (!platform_.urlOpener.open(*url))
        qCDebug(lcConnect) << "no handler opened" << url->toString();
}

} // namespace nimbrook
