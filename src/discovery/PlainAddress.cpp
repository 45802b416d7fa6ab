#include "discovery/PlainAddress.h"

#include <QByteArray>

#include <cstring>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace nimbrook {

namespace {

bool isDottedQuad(QStringView text) {
    int parts = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        if (parts == 4)
            return false;
        const qsizetype start = i;
        int value = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - start < 4) {
            value = value * 10 + (text[i].unicode() - u'0');
            ++i;
        }
        const qsizetype digits = i - start;
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[start] == u'0'))
            return false;
        ++parts;
        if (i == text.size())
            break;
        if (text[i] != u'.' || i + 1 == text.size())
            return false;
        ++i;
    }
    return parts == 4;
}

// Interface names and numeric indexes: letters, digits and a little
// punctuation, as short as the kernel allows.
bool isZone(QStringView zone) {
    if (zone.isEmpty() || zone.size() > 15)
        return false;
    for (const QChar c : zone) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                             (u >= u'0' && u <= u'9') || u == u'-' || u == u'_' || u == u'.';
        if (!allowed)
            return false;
    }
    return true;
}

// An IPv6 literal's address, zone left out; none when it is not one.
std::optional<in6_addr> ipv6Value(QStringView address) {
    const QByteArray latin1 = address.toLatin1();
    in6_addr parsed{};
    if (inet_pton(AF_INET6, latin1.constData(), &parsed) != 1)
        return std::nullopt;
    return parsed;
}

bool isIpv6Literal(QStringView text) {
    const qsizetype percent = text.indexOf(u'%');
    const QStringView address = percent < 0 ? text : text.left(percent);
    if (percent >= 0 && !isZone(text.mid(percent + 1)))
        return false;
    // The longest IPv6 text form, with an embedded IPv4 address, is 45 characters.
    if (address.isEmpty() || address.size() > 45 || !address.contains(u':'))
        return false;
    // inet_pton reads up to a NUL: only the characters of an address may reach it.
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') ||
                             (u >= u'A' && u <= u'F') || u == u':' || u == u'.';
        if (!allowed)
            return false;
    }
    return ipv6Value(address).has_value();
}

} // namespace

bool isPlainIpAddress(QStringView text) {
    return isDottedQuad(text) || isIpv6Literal(text);
}

bool isSameIpAddress(QStringView a, QStringView b) {
    // A dotted quad without leading zeros has one spelling.
    if (isDottedQuad(a) || isDottedQuad(b))
        return a == b;
    if (!isIpv6Literal(a) || !isIpv6Literal(b))
        return false;
    const qsizetype percentA = a.indexOf(u'%');
    const qsizetype percentB = b.indexOf(u'%');
    const QStringView zoneA = percentA < 0 ? QStringView() : a.mid(percentA + 1);
    const QStringView zoneB = percentB < 0 ? QStringView() : b.mid(percentB + 1);
    if (zoneA != zoneB)
        return false;
    const auto valueA = ipv6Value(percentA < 0 ? a : a.left(percentA));
    const auto valueB = ipv6Value(percentB < 0 ? b : b.left(percentB));
    return valueA && valueB && std::memcmp(&*valueA, &*valueB, sizeof(in6_addr)) == 0;
}

} // namespace nimbrook
