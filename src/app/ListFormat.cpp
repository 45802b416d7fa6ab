#include "app/ListFormat.h"

#include "model/AddressText.h"
#include "model/StatusText.h"

#include <algorithm>

namespace nimbrook {

namespace {

// Control characters from the network would break the one-line-per-machine
// layout (or a terminal): show them as U+FFFD.
QString printable(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

QString padded(const QString& text, qsizetype width) {
    return text + QString(std::max<qsizetype>(0, width - text.size()), u' ');
}

} // namespace

QString ListFormat::text(const QList<RemoteMac>& macs, TailscaleState state) {
    if (macs.isEmpty())
        return statusText(state) + u'\n';

    qsizetype nameWidth = 0;
    qsizetype sourceWidth = 0;
    qsizetype addressWidth = 0;
    for (const RemoteMac& mac : macs) {
        nameWidth = std::max(nameWidth, printable(mac.name).size());
        sourceWidth = std::max(sourceWidth, RemoteMac::rawValue(mac.source).size());
        addressWidth = std::max(addressWidth, readableAddress(mac.address).size());
    }
    QString out;
    for (const RemoteMac& mac : macs) {
        const QString address =
            mac.address.isEmpty() ? QStringLiteral("-") : printable(readableAddress(mac.address));
        out += padded(printable(mac.name), nameWidth) + QStringLiteral("  ") +
               padded(RemoteMac::rawValue(mac.source), sourceWidth) + QStringLiteral("  ") +
               padded(address, std::max<qsizetype>(addressWidth, 1)) + QStringLiteral("  ") +
               (mac.online ? QStringLiteral("online") : QStringLiteral("offline")) + u'\n';
    }
    return out;
}

namespace {

// JSON by hand: --watch prints the whole list on every change, and for
// thousands of machines QJsonDocument costs tens of milliseconds each time.
void appendString(QByteArray& out, const QString& text) {
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[(c >> 4) & 0xf];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
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
