#pragma once

// Helpers more than one suite uses.

#include "model/RemoteMac.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>

namespace nimbrook::testing {

// A report of tests/data/tailscale, as the tool would print it.
inline QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(NIMBROOK_TEST_DATA_DIR "/tailscale/") + QLatin1StringView(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// A `tailscale status --json` report with one Mac per name: peer n (from 1)
// is "mac-n.ts.net." (or dnsNames[n - 1]) at 100.64.0.n, online unless `online`
// says otherwise.
inline QByteArray statusReport(const QStringList& names, const char* state = "Running",
                               const QList<bool>& online = {}, const QStringList& dnsNames = {}) {
    QByteArray peers;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        const QByteArray dns =
            i < dnsNames.size() ? dnsNames[i].toUtf8() : QByteArray("mac-" + n + ".ts.net.");
        peers += (i ? ",\"p" : "\"p") + n + "\":{\"DNSName\":\"" + dns + "\",\"HostName\":\"" +
                 names[i].toUtf8() + "\",\"TailscaleIPs\":[\"100.64.0." + n +
                 "\"],\"OS\":\"macOS\",\"Online\":" + (online.value(i, true) ? "true" : "false") +
                 "}";
    }
    return QByteArray("{\"BackendState\":\"") + state + "\",\"Peer\":{" + peers + "}}";
}

inline QStringList namesOf(const QList<RemoteMac>& macs) {
    QStringList names;
    for (const RemoteMac& mac : macs)
        names.append(mac.name);
    return names;
}

// Spins the event loop until `done` or `limit`.
template <typename Predicate>
bool waitFor(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(8)) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace nimbrook::testing
