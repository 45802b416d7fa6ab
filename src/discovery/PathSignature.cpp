#include "discovery/PathSignature.h"

namespace nimbrook {

namespace {

QString statusName(PathStatus status) {
    switch (status) {
    case PathStatus::satisfied:
        return QStringLiteral("satisfied");
    case PathStatus::unsatisfied:
        return QStringLiteral("unsatisfied");
    case PathStatus::requiresConnection:
        return QStringLiteral("requiresConnection");
    }
    return QStringLiteral("unknown");
}

bool isLanInterface(InterfaceType type) {
    return type == InterfaceType::wifi || type == InterfaceType::wiredEthernet;
}

} // namespace

QStringList lanInterfaceNames(const QList<NetworkInterface>& interfaces) {
    QStringList names;
    for (const NetworkInterface& interface : interfaces) {
        if (isLanInterface(interface.type))
            names.append(interface.name);
    }
    return names;
}

QString pathSignatureOf(PathStatus status, const QStringList& interfaceNames,
                        const QStringList& gatewayDescriptions) {
    QStringList names = interfaceNames;
    QStringList gateways = gatewayDescriptions;
    names.sort();
    gateways.sort();
    return statusName(status) + u'|' + names.join(u',') + u'|' + gateways.join(u',');
}

} // namespace nimbrook
