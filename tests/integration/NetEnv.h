#pragma once

// Helpers for tests against the real test network of tests/env/netenv.sh.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <chrono>

namespace nimbrook::testing {

inline bool netEnvAvailable() {
    return qEnvironmentVariableIntValue("NIMBROOK_NETENV") == 1;
}

#define NIMBROOK_REQUIRE_NETENV()                                                                  \
    do {                                                                                           \
        if (!::nimbrook::testing::netEnvAvailable())                                               \
            GTEST_SKIP() << "needs the test network: run through scripts/test";                    \
    } while (false)

// The two peers with a stock avahi-daemon of their own: dual-stack, and
// IPv6-only with a unique-local address.
#define NIMBROOK_REQUIRE_STOCK_PEERS()                                                             \
    do {                                                                                           \
        if (qEnvironmentVariableIntValue("NIMBROOK_STOCK_PEERS") != 1)                             \
            GTEST_SKIP() << "needs the stock peers of the test network: run through scripts/test"; \
    } while (false)

inline QString dualStackPeer() {
    return qEnvironmentVariable("NIMBROOK_DUAL_PEER");
}
inline QString dualStackPeerAddress() {
    return qEnvironmentVariable("NIMBROOK_DUAL_PEER_IP");
}
inline QString ipv6OnlyPeer() {
    return qEnvironmentVariable("NIMBROOK_V6_PEER");
}
inline QString ipv6OnlyPeerAddress() {
    return qEnvironmentVariable("NIMBROOK_V6_PEER_IP");
}

inline QString peerNamespace() {
    return qEnvironmentVariable("NIMBROOK_PEER_NS");
}
inline QString peerAddress() {
    return qEnvironmentVariable("NIMBROOK_PEER_IP");
}

// A stand-in screen-sharing host in the peer namespace, advertised over mDNS
// for as long as the object lives.
class Peer {
public:
    Peer(const QString& name, quint16 port, bool listening = true) {
        QStringList arguments{QStringLiteral("netns"),
                              QStringLiteral("exec"),
                              peerNamespace(),
                              QStringLiteral("/usr/bin/python3"),
                              QStringLiteral(NIMBROOK_TEST_ENV_DIR "/vnc_peer.py"),
                              name,
                              peerAddress(),
                              QString::number(port),
                              QStringLiteral("300")};
        if (!listening)
            arguments.append(QStringLiteral("--no-listen"));
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("ip"), arguments);
        EXPECT_TRUE(process_.waitForStarted(5000));
        EXPECT_TRUE(process_.waitForReadyRead(10000)) << "the peer did not start advertising";
    }
    ~Peer() { withdraw(); }

    void withdraw() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }

private:
    QProcess process_;
};

} // namespace nimbrook::testing
