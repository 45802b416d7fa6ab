#include "model/AddressText.h"

namespace nimbrook {

QString bracketedIpv6(QStringView literal) {
    return u'[' + literal.toString().replace(u'%', QStringLiteral("%25")) + u']';
}

QString urlHostText(QStringView host) {
    return host.contains(u':') ? bracketedIpv6(host) : host.toString();
}

std::optional<BracketedHost> splitBracketedHost(const QString& address) {
    if (!address.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = address.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    return BracketedHost{
        address.mid(1, close - 1).replace(QStringLiteral("%25"), QStringLiteral("%")),
        address.mid(close + 1)};
}

QString readableAddress(const QString& address) {
    const std::optional<BracketedHost> split = splitBracketedHost(address);
    if (!split)
        return address;
    if (split->rest.isEmpty())
        return split->host;
    return u'[' + split->host + u']' + split->rest;
}

} // namespace nimbrook
