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

// An IPv6 literal's value and its zone ("eth0", or empty when it has none).
struct Ipv6Literal {
    in6_addr value{};
    QStringView zone;
};

std::optional<Ipv6Literal> parseIpv6Literal(QStringView text) {
    const qsizetype percent = text.indexOf(u'%');
    const QStringView address = percent < 0 ? text : text.left(percent);
    Ipv6Literal literal;
    if (percent >= 0) {
        literal.zone = text.mid(percent + 1);
        if (!isZone(literal.zone))
            return std::nullopt;
    }
    // The longest IPv6 text form, with an embedded IPv4 address, is 45 characters.
    if (address.isEmpty() || address.size() > 45 || !address.contains(u':'))
        return std::nullopt;
    // inet_pton reads up to a NUL: only the characters of an address may reach it.
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') ||
                             (u >= u'A' && u <= u'F') || u == u':' || u == u'.';
        if (!allowed)
            return std::nullopt;
    }
    const QByteArray latin1 = address.toLatin1();
    if (inet_pton(AF_INET6, latin1.constData(), &literal.value) != 1)
        return std::nullopt;
    return literal;
}

} // namespace

bool isPlainIpAddress(QStringView text) {
    return isDottedQuad(text) || parseIpv6Literal(text).has_value();
}

bool isSameIpAddress(QStringView a, QStringView b) {
    // A dotted quad without leading zeros has one spelling.
    if (isDottedQuad(a) || isDottedQuad(b))
        return a == b;
    const std::optional<Ipv6Literal> first = parseIpv6Literal(a);
    const std::optional<Ipv6Literal> second = parseIpv6Literal(b);
    return first && second && first->zone == second->zone &&
           std::memcmp(&first->value, &second->value, sizeof(in6_addr)) == 0;
}

} // namespace nimbrook
