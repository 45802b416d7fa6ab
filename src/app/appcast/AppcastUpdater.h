#pragma once

#include "app/NimbrookUpdater.h"
#include "app/UpdateNotifier.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

#include <optional>

class QNetworkReply;

namespace nimbrook {

// Checks an RSS appcast (Sparkle's format) over HTTPS. A check the user asks
// for always answers; the automatic ones (at start-up, then daily) speak only
// when a newer version exists. Never blocks: every fetch is asynchronous,
// bounded in time and size, and nothing is ever downloaded or installed.
class AppcastUpdater final : public QObject, public UpdateController {
    Q_OBJECT

public:
    static constexpr auto checkInterval = std::chrono::hours(24);
    static constexpr auto fetchTimeout = std::chrono::seconds(15);
    static constexpr qint64 maximumFeedSize = 1024 * 1024;

    AppcastUpdater(const QUrl& feed, const QString& currentVersion, bool start,
                   UpdateNotifier& notifier, QObject* parent = nullptr);
    ~AppcastUpdater() override;

    void checkForUpdates() override;
    bool isStarted() const { return started_; }

    // Trusts these certificates as well as the system's (tests use their own).
    void addCaCertificates(const QList<QSslCertificate>& certificates);

    // The newest item of a feed, or none with `error` set.
    static std::optional<AppcastItem> newestItem(const QByteArray& feed, QString* error);
    // Compares dotted versions by their numeric parts ("1.10" > "1.9").
    static int compareVersions(const QString& a, const QString& b);

signals:
    // After every check, whatever it found.
    void checkFinished();

private:
    void check(bool userInitiated);
    void finish(QNetworkReply* reply, bool userInitiated);

    QUrl feed_;
    QString currentVersion_;
    bool started_;
    UpdateNotifier& notifier_;
    QNetworkAccessManager network_;
    QTimer daily_;
    QList<QSslCertificate> extraCertificates_;
    // A check the user asked for and that has not answered yet: asking again
    // meanwhile starts no other.
    bool userCheckRunning_ = false;
};

} // namespace nimbrook
