#include "model/AddressText.h"

namespace nimbrook {

QString readableAddress(const QString& address) {
    if (!address.startsWith(u'['))
        return address;
    const qsizetype close = address.indexOf(u']');
    if (close < 0)
        return address;
    const QString host =
        address.mid(1, close - 1).replace(QStringLiteral("%25"), QStringLiteral("%"));
    const QString rest = address.mid(close + 1);
    if (rest.isEmpty())
        return host;
    return u'[' + host + u']' + rest;
}

} // namespace nimbrook
