#include "discovery/Discovery.h"

#include "platform/PathMonitoring.h"

#include <QPointer>

namespace nimbrook {

void Discovery::startPathMonitoring() {
    pathMonitor_ =
        platform_.pathMonitoring.start([self = QPointer<Discovery>(this),
                                        &scheduler = platform_.scheduler](const NetworkPath& path) {
            // Runs on the network thread: reduce the path to its signature there
            // and hand only the text to the main thread.
            const QString signature = pathSignatureOf(
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

} // namespace nimbrook
