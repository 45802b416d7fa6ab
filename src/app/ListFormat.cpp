#include "app/ListFormat.h"

#include "model/AddressText.h"
#include "model/StatusText.h"
#include "model/TerminalText.h"

#include <algorithm>

namespace nimbrook {

namespace {

// Names come from anyone on the network: wider ones are cut, so that one name
// cannot make every line of the listing as long as itself.
constexpr qsizetype maxNameColumns = 40;

QString padded(const QString& text, qsizetype width) {
    return text + QString(std::max<qsizetype>(0, width - displayWidth(text)), u' ');
}

} // namespace

QString ListFormat::text(const QList<RemoteMac>& macs, TailscaleState state, Listing listing) {
    if (macs.isEmpty())
        return statusText(state, listing) + u'\n';

    struct Line {
        QString name;
        QString address;
    };
    QList<Line> lines;
    lines.reserve(macs.size());
    qsizetype nameWidth = 0;
    qsizetype sourceWidth = 0;
    qsizetype addressWidth = 1;
    for (const RemoteMac& mac : macs) {
        Line line{terminalSafe(elidedToWidth(mac.name, maxNameColumns)),
                  mac.address.isEmpty() ? QStringLiteral("-")
                                        : terminalSafe(readableAddress(mac.address))};
        nameWidth = std::max(nameWidth, displayWidth(line.name));
        sourceWidth = std::max(sourceWidth, RemoteMac::rawValue(mac.source).size());
        addressWidth = std::max(addressWidth, displayWidth(line.address));
        lines.append(std::move(line));
    }
    QString out;
    for (qsizetype i = 0; i < macs.size(); ++i) {
        const RemoteMac& mac = macs[i];
        out += padded(lines[i].name, nameWidth) + QStringLiteral("  ") +
               padded(RemoteMac::rawValue(mac.source), sourceWidth) + QStringLiteral("  ") +
               padded(lines[i].address, addressWidth) + QStringLiteral("  ") +
               (mac.online ? QStringLiteral("online") : QStringLiteral("offline")) + u'\n';
    }
    return out;
}

namespace {

// JSON by hand: --watch prints the whole list on every change, and for
// thousands of machines QJsonDocument costs tens of milliseconds each time.
// Besides what JSON requires, every character a terminal could act on is
// escaped, so that printing the output raw cannot reorder or hide text.
void appendString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    qsizetype plainFrom = 0;
    const auto flushPlain = [&](qsizetype end) {
        if (end > plainFrom)
            out += QStringView(text).mid(plainFrom, end - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool paired = QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
                            QChar::isLowSurrogate(text[i + 1].unicode());
        const char32_t codePoint =
            paired ? QChar::surrogateToUcs4(unit, text[i + 1].unicode()) : char32_t(unit);
        const bool escaped = unit == u'"' || unit == u'\\' || isUnsafeForTerminal(codePoint);
        if (!escaped) {
            i += paired ? 1 : 0;
            continue;
        }
        flushPlain(i);
        if (unit == u'"' || unit == u'\\') {
            out += '\\';
            out += char(unit);
        } else {
            for (qsizetype k = i; k <= i + (paired ? 1 : 0); ++k) {
                const char16_t u = text[k].unicode();
                out += "\\u";
                out += hex[(u >> 12) & 0xf];
                out += hex[(u >> 8) & 0xf];
                out += hex[(u >> 4) & 0xf];
                out += hex[u & 0xf];
            }
        }
        i += paired ? 1 : 0;
        plainFrom = i + 1;
    }
    flushPlain(text.size());
    out += '"';
}

void appendField(QByteArray& out, const char* name, const QString& value) {
    out += '"';
    out += name;
    out += "\":";
    appendString(out, value);
}

} // namespace

QByteArray ListFormat::json(const QList<RemoteMac>& macs, TailscaleState state, bool isPolling) {
    QByteArray out;
    out.reserve(64 + macs.size() * 160);
    out += "{\"isPolling\":";
    out += isPolling ? "true" : "false";
    out += ",\"macs\":[";
    for (qsizetype i = 0; i < macs.size(); ++i) {
        const RemoteMac& mac = macs[i];
        out += i ? ",{" : "{";
        appendField(out, "address", mac.address);
        out += ',';
        appendField(out, "id", mac.id);
        out += ',';
        appendField(out, "identity", mac.identity);
        out += ',';
        appendField(out, "name", mac.name);
        out += ",\"online\":";
        out += mac.online ? "true" : "false";
        out += ',';
        appendField(out, "source", RemoteMac::rawValue(mac.source));
        out += '}';
    }
    out += "],";
    appendField(out, "tailscaleState", toString(state));
    out += '}';
    return out;
}

} // namespace nimbrook
