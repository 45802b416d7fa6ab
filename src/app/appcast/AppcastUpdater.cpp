#include "app/appcast/AppcastUpdater.h"

#include <QNetworkReply>
#include <QSslConfiguration>
#include <QVersionNumber>
#include <QXmlStreamReader>

namespace nimbrook {

namespace {

const QString sparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

QUrl httpsOnly(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && url.scheme() == QStringLiteral("https") && !url.host().isEmpty()
               ? url
               : QUrl();
}

} // namespace

AppcastUpdater::AppcastUpdater(const QUrl& feed, const QString& currentVersion, bool start,
                               UpdateNotifier& notifier, QObject* parent)
    : QObject(parent)
    , feed_(feed)
    , currentVersion_(currentVersion)
    , started_(start)
    , notifier_(notifier) {
    network_.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    daily_.setInterval(checkInterval);
    connect(&daily_, &QTimer::timeout, this, [this] { check(false); });
    if (started_) {
        daily_.start();
        QTimer::singleShot(0, this, [this] { check(false); });
    }
}

AppcastUpdater::~AppcastUpdater() = default;

void AppcastUpdater::checkForUpdates() {
    if (userCheckRunning_)
        return;
    userCheckRunning_ = true;
    check(true);
}

void AppcastUpdater::addCaCertificates(const QList<QSslCertificate>& certificates) {
    extraCertificates_ += certificates;
}

void AppcastUpdater::check(bool userInitiated) {
    QNetworkRequest request(feed_);
    request.setTransferTimeout(int(std::chrono::milliseconds(fetchTimeout).count()));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Nimbrook/") + currentVersion_);
    if (!extraCertificates_.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(extraCertificates_);
        request.setSslConfiguration(ssl);
    }
    QNetworkReply* reply = network_.get(request);
    // A feed is a few kilobytes; anything huge is not one.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maximumFeedSize) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, userInitiated] { finish(reply, userInitiated); });
}

void AppcastUpdater::finish(QNetworkReply* reply, bool userInitiated) {
    reply->deleteLater();
    if (userInitiated)
        userCheckRunning_ = false;
    QString error;
    std::optional<AppcastItem> newest;
    if (reply->property("tooLarge").toBool())
        error = tr("The update feed is too large.");
    else if (reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    else
        newest = newestItem(reply->readAll(), &error);

    if (!newest) {
        if (userInitiated)
            notifier_.checkFailed(error);
    } else if (compareVersions(newest->version, currentVersion_) > 0) {
        notifier_.offerUpdate(*newest, currentVersion_);
    } else if (userInitiated) {
        notifier_.upToDate(currentVersion_);
    }
    emit checkFinished();
}

std::optional<AppcastItem> AppcastUpdater::newestItem(const QByteArray& feed, QString* error) {
    QXmlStreamReader xml(feed);
    std::optional<AppcastItem> newest;
    std::optional<AppcastItem> item;
    QString shortVersion;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == QLatin1StringView("item")) {
                item = AppcastItem{};
                shortVersion.clear();
            } else if (!item) {
                continue;
            } else if (name == QLatin1StringView("title") && xml.namespaceUri().isEmpty()) {
                item->title = xml.readElementText().trimmed();
            } else if (name == QLatin1StringView("link") && xml.namespaceUri().isEmpty()) {
                item->page = httpsOnly(xml.readElementText());
            } else if (xml.namespaceUri() == sparkleNamespace &&
                       name == QLatin1StringView("shortVersionString")) {
                shortVersion = xml.readElementText().trimmed();
            } else if (xml.namespaceUri() == sparkleNamespace &&
                       name == QLatin1StringView("version")) {
                item->version = xml.readElementText().trimmed();
            } else if (name == QLatin1StringView("enclosure")) {
                const auto attributes = xml.attributes();
                if (item->version.isEmpty())
                    item->version =
                        attributes.value(sparkleNamespace, QStringLiteral("version")).toString();
                if (shortVersion.isEmpty())
                    shortVersion =
                        attributes.value(sparkleNamespace, QStringLiteral("shortVersionString"))
                            .toString();
                if (item->page.isEmpty())
                    item->page = httpsOnly(attributes.value(QStringLiteral("url")).toString());
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1StringView("item") && item) {
            // The version users see is the short one when the feed gives it.
            if (!shortVersion.isEmpty())
                item->version = shortVersion;
            if (!item->version.isEmpty() &&
                (!newest || compareVersions(item->version, newest->version) > 0))
                newest = item;
            item.reset();
        }
    }
    if (xml.hasError()) {
        if (error)
            *error = tr("The update feed could not be read.");
        return std::nullopt;
    }
    if (!newest && error)
        *error = tr("The update feed lists no version.");
    return newest;
}

int AppcastUpdater::compareVersions(const QString& a, const QString& b) {
    // "1.2" and "1.2.0" are one version.
    return QVersionNumber::compare(QVersionNumber::fromString(a).normalized(),
                                   QVersionNumber::fromString(b).normalized());
}

} // namespace nimbrook

// What the application finds in this module: the one way in, so that Qt
// Network is loaded with the first update check, not with every start.
extern "C" Q_DECL_EXPORT nimbrook::UpdateController*
nimbrookMakeAppcastUpdater(const QUrl& feed, const QString& currentVersion, bool start,
                           nimbrook::UpdateNotifier& notifier) {
    return new nimbrook::AppcastUpdater(feed, currentVersion, start, notifier);
}
