#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace nimbrook {

// The component that actually checks for updates.
class UpdateController {
public:
    virtual ~UpdateController() = default;
    // A check the user asked for: it always answers.
    virtual void checkForUpdates() = 0;
};

// Decides once, at creation, whether this build can update itself: only when
// its information names an "https" feed with a host. Runs "Check for Updates…".
class NimbrookUpdater final : public QObject {
    Q_OBJECT

public:
    // The build's information dictionary: "SUFeedURL" comes from the CMake
    // variable NIMBROOK_FEED_URL, absent when that is empty.
    using Information = QVariantMap;
    // Makes the update component for a feed; `start` says whether it begins its
    // own checks (at start-up and daily) at once.
    using ControllerFactory =
        std::function<std::unique_ptr<UpdateController>(const QUrl& feed, bool start)>;
    // Shows an informational alert; returns at once.
    using Alert = std::function<void(const QString& message, const QString& informative)>;

    static inline const QString feedKey = QStringLiteral("SUFeedURL");
    static inline const QString testHostVariable = QStringLiteral("XCTestConfigurationFilePath");
    static inline const QString notConfiguredMessage = QStringLiteral("Updates Are Not Configured");
    static inline const QString notConfiguredInformative = QStringLiteral(
        "Nimbrook is ready to receive signed updates, but no update service has been "
        "configured yet.");

    NimbrookUpdater(const Information& information, const QProcessEnvironment& environment,
                    const ControllerFactory& makeController, Alert alert,
                    QObject* parent = nullptr);
    ~NimbrookUpdater() override;

    static bool isValidFeedURL(const std::optional<QString>& text);
    static bool hasHTTPSFeed(const Information& information);
    // This build's information dictionary.
    static Information buildInformation();

    void checkForUpdates();

    bool isConfigured() const { return controller_ != nullptr; }
    UpdateController* controller() const { return controller_.get(); }

private:
    std::unique_ptr<UpdateController> controller_;
    Alert alert_;
};

} // namespace nimbrook
