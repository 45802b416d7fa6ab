#include "discovery/Discovery.h"

#include "platform/PathMonitoring.h"

#include <QPointer>

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

void Discovery::startPathMonitoring() {
    pathMonitor_ =
        platform_.pathMonitoring.start([self = QPointer<Discovery>(this),
                                        &scheduler = platform_.scheduler](const NetworkPath& path) {
            // Runs on the network thread: reduce the path to its signature there
            // and hand only the text to the main thread.
            const QString signature = pathSignature(
                path.status, lanInterfaceNames(path.availableInterfaces), path.gatewayDescriptions);
            scheduler.post([self, signature] {
                if (self)
                    self->applyPathSignature(signature);
            });
        });
}

void Discovery::applyPathSignature(const QString& signature) {
    if (!hasStarted_)
        return;
    const std::optional<QString> previous = std::exchange(lastPathSignature_, signature);
    // The first path after start() is only recorded.
    if (previous && *previous != signature) {
        forgetBonjourResults();
        startBonjour();
    }
}

QStringList Discovery::lanInterfaceNames(const QList<NetworkInterface>& interfaces) {
    QStringList names;
    for (const NetworkInterface& interface : interfaces) {
        if (isLanInterface(interface.type))
            names.append(interface.name);
    }
    return names;
}

QString Discovery::pathSignature(PathStatus status, const QStringList& interfaceNames,
                                 const QStringList& gatewayDescriptions) {
    QStringList names = interfaceNames;
    QStringList gateways = gatewayDescriptions;
    names.sort();
    gateways.sort();
    return statusName(status) + u'|' + names.join(u',') + u'|' + gateways.join(u',');
}

} // namespace nimbrook
