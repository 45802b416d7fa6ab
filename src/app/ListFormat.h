#pragma once

#include "model/RemoteMac.h"
#include "model/StatusText.h"
#include "model/TailscaleState.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace nimbrook {

// What `nimbrook --list` and `--watch` print.
struct ListFormat {
    // One aligned line per machine (name, source, address, online state); for an
    // empty list, the status line the panel would show.
    static QString text(const QList<RemoteMac>& macs, TailscaleState state, Listing listing);
    // {"isPolling": ..., "macs": [{"address", "id", "identity", "name",
    // "online", "source"}, ...], "tailscaleState": ...}: keys in that order,
    // compact, on one line.
    static QByteArray json(const QList<RemoteMac>& macs, TailscaleState state, bool isPolling);
};

} // namespace nimbrook
