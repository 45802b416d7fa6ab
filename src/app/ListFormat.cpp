#include "app/ListFormat.h"

#include "model/StatusText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
        addressWidth = std::max(addressWidth, mac.address.size());
    }
    QString out;
    for (const RemoteMac& mac : macs) {
        const QString address =
            mac.address.isEmpty() ? QStringLiteral("-") : printable(mac.address);
        out += padded(printable(mac.name), nameWidth) + QStringLiteral("  ") +
               padded(RemoteMac::rawValue(mac.source), sourceWidth) + QStringLiteral("  ") +
               padded(address, std::max<qsizetype>(addressWidth, 1)) + QStringLiteral("  ") +
               (mac.online ? QStringLiteral("online") : QStringLiteral("offline")) + u'\n';
    }
    return out;
}

QByteArray ListFormat::json(const QList<RemoteMac>& macs, TailscaleState state, bool isPolling) {
    QJsonArray list;
    for (const RemoteMac& mac : macs) {
        list.append(QJsonObject{{QStringLiteral("id"), mac.id},
                                {QStringLiteral("identity"), mac.identity},
                                {QStringLiteral("name"), mac.name},
                                {QStringLiteral("address"), mac.address},
                                {QStringLiteral("online"), mac.online},
                                {QStringLiteral("source"), RemoteMac::rawValue(mac.source)}});
    }
    const QJsonObject root{{QStringLiteral("tailscaleState"), toString(state)},
                           {QStringLiteral("isPolling"), isPolling},
                           {QStringLiteral("macs"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace nimbrook
