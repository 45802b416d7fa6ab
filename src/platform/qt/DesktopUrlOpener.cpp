#include "platform/qt/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace nimbrook {

bool DesktopUrlOpener::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace nimbrook
