#include "app/AppcastModule.h"
#include "app/appcast/AppcastUpdater.h"

#include "TestHelpers.h"
#include "app/NimbrookUpdater.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nimbrook {
namespace {

using namespace std::chrono_literals;

// --- The decision ------------------------------------------------------------

struct RecordingController final : UpdateController {
    explicit RecordingController(bool startFlag)
        : start(startFlag) {}
    void checkForUpdates() override { ++checks; }
    bool start;
    int checks = 0;
};

struct Decision {
    std::unique_ptr<NimbrookUpdater> updater;
    QList<QStringList> alerts;
    QList<QUrl> feeds;

    Decision(const QVariant& feed, const QProcessEnvironment& environment) {
        NimbrookUpdater::Information information;
        if (feed.isValid())
            information.insert(QStringLiteral("SUFeedURL"), feed);
        updater = std::make_unique<NimbrookUpdater>(
            information, environment,
            [this](const QUrl& url, bool start) {
                feeds.append(url);
                return std::make_unique<RecordingController>(start);
            },
            [this](const QString& message, const QString& informative) {
                alerts.append({message, informative});
            });
    }
    RecordingController* controller() const {
        return static_cast<RecordingController*>(updater->controller());
    }
};

QProcessEnvironment environmentWith(const QString& name, const QString& value) {
    QProcessEnvironment environment;
    environment.insert(name, value);
    return environment;
}

TEST(NimbrookUpdaterTest, WithoutASecureFeedTheCommandShowsTheAlertEveryTime) {
    QList<QVariant> feeds{QVariant(), QVariant(42),
                          QVariant(QStringList{QStringLiteral("https://example.com/a.xml")})};
    // Only an https address with a host is a feed.
    for (const char* text :
         {"http://updates.example.com/appcast.xml", "HTTPS://updates.example.com/a.xml",
          "https:///appcast.xml", "https://", "updates.example.com/appcast.xml", "",
          "ftp://example.com/feed", "https://exa mple.com/"})
        feeds.append(QString::fromLatin1(text));
    for (const QVariant& feed : feeds) {
        Decision decision(feed, QProcessEnvironment());
        EXPECT_FALSE(decision.updater->isConfigured()) << feed.toString().toStdString();
        EXPECT_TRUE(decision.feeds.isEmpty());
        decision.updater->checkForUpdates();
        decision.updater->checkForUpdates();
        ASSERT_EQ(decision.alerts.size(), 2);
        EXPECT_EQ(decision.alerts[0],
                  (QStringList{QStringLiteral("Updates Are Not Configured"),
                               QStringLiteral("Nimbrook is ready to receive signed updates, "
                                              "but no update service has been configured yet.")}));
    }
}

TEST(NimbrookUpdaterTest, AValidFeedMakesTheComponentStartedUnlessUnderATestHost) {
    const QString feed = QStringLiteral("https://updates.example.com/appcast.xml");
    EXPECT_TRUE(NimbrookUpdater::isValidFeedURL(QStringLiteral("https://127.0.0.1:8443/feed")));

    Decision started(feed, QProcessEnvironment());
    ASSERT_TRUE(started.updater->isConfigured());
    EXPECT_TRUE(started.controller()->start);
    EXPECT_EQ(started.feeds, QList<QUrl>{QUrl(feed)});

    Decision underTest(feed,
                       environmentWith(QStringLiteral("XCTestConfigurationFilePath"), QString()));
    ASSERT_TRUE(underTest.updater->isConfigured());
    EXPECT_FALSE(underTest.controller()->start);
    underTest.updater->checkForUpdates();
    EXPECT_EQ(underTest.controller()->checks, 1);
    EXPECT_TRUE(underTest.alerts.isEmpty());

    Decision otherVariable(
        feed, environmentWith(QStringLiteral("XCTestConfigurationFilePat"), QStringLiteral("x")));
    EXPECT_TRUE(otherVariable.controller()->start);
}

TEST(NimbrookUpdaterTest, ThisBuildHasNoFeedByDefault) {
    EXPECT_FALSE(NimbrookUpdater::hasHTTPSFeed(NimbrookUpdater::buildInformation()));
}

// --- The appcast ---------------------------------------------------------------

QByteArray appcast(const QList<std::pair<const char*, const char*>>& versions) {
    QByteArray items;
    for (const auto& [version, link] : versions)
        items += QByteArray("<item><title>Nimbrook ") + version + "</title><link>" + link +
                 "</link><enclosure url=\"https://example.com/nimbrook.deb\" "
                 "sparkle:shortVersionString=\"" +
                 version + "\" length=\"1\" type=\"application/octet-stream\"/></item>";
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>Nimbrook</title>" +
           items + "</channel></rss>";
}

TEST(AppcastTest, TheNewestItemWinsWhateverItsPlace) {
    QString error;
    const auto newest = AppcastUpdater::newestItem(appcast({{"0.9.0", "https://example.com/0.9"},
                                                            {"1.10.0", "https://example.com/1.10"},
                                                            {"1.9.2", "https://example.com/1.9"}}),
                                                   &error);
    ASSERT_TRUE(newest) << error.toStdString();
    EXPECT_EQ(newest->version, QStringLiteral("1.10.0")); // versions compare by numbers
    EXPECT_EQ(newest->page, QUrl(QStringLiteral("https://example.com/1.10")));
}

TEST(AppcastTest, PlainHttpLinksAreNeverOffered) {
    const auto newest =
        AppcastUpdater::newestItem(appcast({{"2.0", "http://example.com/2.0"}}), nullptr);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->page,
              QUrl(QStringLiteral("https://example.com/nimbrook.deb"))); // the enclosure
}

TEST(AppcastTest, BrokenOrEmptyFeedsAreErrors) {
    QString error;
    EXPECT_FALSE(AppcastUpdater::newestItem("<rss><channel><item>", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(AppcastUpdater::newestItem(appcast({}), &error));
    EXPECT_FALSE(AppcastUpdater::newestItem("not xml at all", &error));
}

TEST(AppcastTest, MissingVersionPartsCountAsZero) {
    EXPECT_EQ(AppcastUpdater::compareVersions(QStringLiteral("1.2.0"), QStringLiteral("1.2")), 0);
    EXPECT_LT(AppcastUpdater::compareVersions(QStringLiteral("0.1.0"), QStringLiteral("0.1.1")), 0);
}

// --- Against a local HTTPS server -----------------------------------------------

struct RecordingNotifier final : UpdateNotifier {
    void offerUpdate(const AppcastItem& item, const QString&) override {
        offers.append(item.version);
    }
    void upToDate(const QString&) override { ++upToDates; }
    void checkFailed(const QString& reason) override { failures.append(reason); }
    QStringList offers;
    int upToDates = 0;
    QStringList failures;
};

// Serves one body over HTTPS on 127.0.0.1 with a certificate made for this
// test; only the updater under test is told to trust it.
class FeedServer {
public:
    FeedServer() {
        if (!dir_.isValid())
            return;
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                       dir_.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
                       dir_.filePath(QStringLiteral("cert.pem"))});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return;
        certificate_ =
            QSslCertificate::fromPath(dir_.filePath(QStringLiteral("cert.pem"))).value(0);
        QFile keyFile(dir_.filePath(QStringLiteral("key.pem")));
        if (!keyFile.open(QIODevice::ReadOnly))
            return;
        const QSslKey key(&keyFile, QSsl::Rsa);

        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(certificate_);
        configuration.setPrivateKey(key);
        server_.setSslConfiguration(configuration);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
        ready_ = server_.listen(QHostAddress::LocalHost, 0);
    }

    bool ready() const { return ready_ && !certificate_.isNull(); }
    QUrl url() const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1/appcast.xml").arg(server_.serverPort()));
    }
    const QSslCertificate& certificate() const { return certificate_; }
    void setBody(const QByteArray& body) { body_ = body; }

private:
    void serve(QTcpSocket* socket) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            request_[socket] += socket->readAll();
            if (!request_[socket].contains("\r\n\r\n"))
                return;
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nConnection: close\r\n"
                "Content-Length: " +
                QByteArray::number(body_.size()) + "\r\n\r\n" + body_);
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTemporaryDir dir_;
    QSslServer server_;
    QSslCertificate certificate_;
    QByteArray body_;
    QHash<QTcpSocket*, QByteArray> request_;
    bool ready_ = false;
};

bool waitFor(const std::function<bool()>& done) {
    return testing::waitFor(done, 20s);
}

// One server and one certificate for all the cases: making a key takes time.
class AppcastServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new FeedServer; }
    static void TearDownTestSuite() { delete std::exchange(server, nullptr); }
    void SetUp() override {
        if (!server->ready())
            GTEST_SKIP() << "cannot run a local HTTPS server here (is openssl installed?)";
    }

    // One check against `body` as version `current`, user-initiated unless
    // `automatic`; waits until it has finished.
    void checkAgainst(const QByteArray& body, const char* current, bool trust = true,
                      const QUrl& url = {}, bool automatic = false) {
        server->setBody(body);
        AppcastUpdater updater(url.isEmpty() ? server->url() : url, QString::fromLatin1(current),
                               automatic, notifier);
        if (trust)
            updater.addCaCertificates({server->certificate()});
        bool finished = false;
        QObject::connect(&updater, &AppcastUpdater::checkFinished, [&] { finished = true; });
        if (!automatic)
            updater.checkForUpdates();
        ASSERT_TRUE(waitFor([&] { return finished; }));
    }

    static inline FeedServer* server = nullptr;
    RecordingNotifier notifier;
};

TEST_F(AppcastServerTest, EveryFailureIsOneShortMessageAndNoOffer) {
    QUrl closed;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closed = QUrl(QStringLiteral("https://127.0.0.1:%1/appcast.xml").arg(probe.serverPort()));
    }
    const QByteArray newer = appcast({{"9.0", "https://example.com/9"}});
    checkAgainst("<rss><channel><item><title>", "0.1.0");            // broken
    checkAgainst(QByteArray(3 * 1024 * 1024, ' ') + newer, "0.1.0"); // huge
    checkAgainst(newer, "0.1.0", false);                             // untrusted certificate
    checkAgainst(newer, "0.1.0", true, closed);                      // refused connection
    EXPECT_EQ(notifier.failures.size(), 4);
    for (const QString& failure : notifier.failures)
        EXPECT_LT(failure.size(), 120) << failure.toStdString();
    EXPECT_TRUE(notifier.offers.isEmpty());
}

TEST_F(AppcastServerTest, ANewerVersionIsOfferedTheSameIsUpToDateOnlyWhenAsked) {
    checkAgainst(appcast({{"0.1.0", "https://example.com/0.1"}}), "0.1.0");
    EXPECT_EQ(notifier.upToDates, 1);
    // Automatic checks speak only of newer versions.
    checkAgainst(appcast({{"0.1.0", "https://example.com/0.1"}}), "0.1.0", true, {}, true);
    EXPECT_EQ(notifier.upToDates, 1);
    EXPECT_TRUE(notifier.failures.isEmpty());
    checkAgainst(appcast({{"0.3.0", "https://example.com/0.3"}}), "0.1.0", true, {}, true);
    EXPECT_EQ(notifier.offers, QStringList{QStringLiteral("0.3.0")});
}

} // namespace
} // namespace nimbrook

namespace nimbrook {
namespace {

// The application reaches the updater only through its module: it must load,
// and make an updater that answers a check the user asked for.
TEST(AppcastModuleTest, TheModuleMakesAWorkingUpdaterAndAMissingOneNone) {
    RecordingNotifier notifier;
    // Nothing listens on port 1: the check fails at once, and says so.
    const QUrl feed(QStringLiteral("https://127.0.0.1:1/appcast.xml"));
    EXPECT_EQ(loadAppcastUpdater({QStringLiteral("/nonexistent")}, feed, QStringLiteral("1.0"),
                                 false, notifier),
              nullptr);

    const auto updater = loadAppcastUpdater(
        {QStringLiteral("/nonexistent"), QStringLiteral(NIMBROOK_APPCAST_MODULE_DIR)}, feed,
        QStringLiteral("1.0"), false, notifier);
    ASSERT_NE(updater, nullptr);
    updater->checkForUpdates();
    QElapsedTimer waited;
    waited.start();
    while (notifier.failures.isEmpty() && waited.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(notifier.failures.size(), 1);
}

} // namespace
} // namespace nimbrook
