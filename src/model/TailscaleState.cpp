#include "model/TailscaleState.h"

namespace nimbrook {

QString toString(TailscaleState state) {
    switch (state) {
    case TailscaleState::searching:
        return QStringLiteral("searching");
    case TailscaleState::ok:
        return QStringLiteral("ok");
    case TailscaleState::notInstalled:
        return QStringLiteral("notInstalled");
    case TailscaleState::notRunning:
        return QStringLiteral("notRunning");
    case TailscaleState::needsLogin:
        return QStringLiteral("needsLogin");
    }
    return QStringLiteral("unknown");
}

} // namespace nimbrook
