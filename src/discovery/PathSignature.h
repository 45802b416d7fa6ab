#pragma once

#include "platform/NetworkTypes.h"

#include <QString>
#include <QStringList>

namespace nimbrook {

// The names of the Wi-Fi and wired Ethernet interfaces among `interfaces`.
QStringList lanInterfaceNames(const QList<NetworkInterface>& interfaces);

// What identifies a network path: its status, LAN interfaces and gateways, in
// any order. A change of signature means the local network may have changed.
QString pathSignatureOf(PathStatus status, const QStringList& interfaceNames,
                        const QStringList& gatewayDescriptions);

} // namespace nimbrook
