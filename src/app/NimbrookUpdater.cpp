#include "app/NimbrookUpdater.h"

#include <QUrl>

namespace nimbrook {

NimbrookUpdater::NimbrookUpdater(const Information& information,
                                 const QProcessEnvironment& environment,
                                 const ControllerFactory& makeController, Alert alert,
                                 QObject* parent)
    : QObject(parent)
    , alert_(std::move(alert)) {
    if (!hasHTTPSFeed(information))
        return;
    // Inside an automated test host the component exists but does not start.
    const bool start = !environment.contains(testHostVariable);
    controller_ = makeController(QUrl(information.value(feedKey).toString()), start);
}

NimbrookUpdater::~NimbrookUpdater() = default;

bool NimbrookUpdater::isValidFeedURL(const std::optional<QString>& text) {
    if (!text)
        return false;
    const QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    // QUrl lowers the scheme; the feed must say "https" exactly as written.
    if (text->section(u':', 0, 0) != QStringLiteral("https"))
        return false;
    return !url.host().isEmpty();
}

bool NimbrookUpdater::hasHTTPSFeed(const Information& information) {
    const QVariant value = information.value(feedKey);
    if (value.typeId() != QMetaType::QString)
        return isValidFeedURL(std::nullopt);
    return isValidFeedURL(value.toString());
}

NimbrookUpdater::Information NimbrookUpdater::buildInformation() {
    Information information;
    const QString feed = QStringLiteral(NIMBROOK_FEED_URL);
    if (!feed.isEmpty())
        information.insert(feedKey, feed);
    return information;
}

void NimbrookUpdater::checkForUpdates() {
    if (controller_) {
        controller_->checkForUpdates();
        return;
    }
    // Nothing is remembered: the next choice of the command shows it again.
    if (alert_)
        alert_(notConfiguredMessage, notConfiguredInformative);
}

} // namespace nimbrook
