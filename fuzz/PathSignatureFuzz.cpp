// Path signatures do not depend on the order in which the platform lists
// interfaces and gateways, and keep exactly three fields.
#include "discovery/PathSignature.h"

#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbrook;
    if (size < 1)
        return 0;
    const auto status = PathStatus(data[0] % 3);
    // The rest: interface entries and gateways separated by NUL bytes; an
    // entry's first byte picks its type.
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split('\0');
    QList<NetworkInterface> interfaces;
    QStringList gateways;
    for (const QByteArray& part : parts) {
        if (part.isEmpty())
            continue;
        const QString text = QString::fromUtf8(part.mid(1)).remove(u'|').remove(u',');
        if (part[0] & 1)
            gateways.append(text);
        else
            interfaces.append(NetworkInterface{text, InterfaceType((part[0] >> 1) % 5)});
    }
    const QString signature = pathSignatureOf(status, lanInterfaceNames(interfaces), gateways);
    if (signature.count(u'|') != 2)
        std::abort();

    QList<NetworkInterface> reversedInterfaces(interfaces.rbegin(), interfaces.rend());
    QStringList reversedGateways(gateways.rbegin(), gateways.rend());
    if (pathSignatureOf(status, lanInterfaceNames(reversedInterfaces), reversedGateways) !=
        signature)
        std::abort();
    return 0;
}
