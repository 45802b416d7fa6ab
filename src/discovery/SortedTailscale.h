#pragma once

#include "discovery/NameCollation.h"
#include "model/RemoteMac.h"

#include <QHash>
#include <QList>
#include <QString>

#include <vector>

namespace nimbrook {

// The Tailscale side of a merge, reduced to one record per row identity and
// sorted once. A poll can bring thousands of machines while the local network
// changes every few seconds; sorting the big side when the poll arrives (off
// the main thread) leaves each later merge a single pass.
//
// Immutable once made; copies share their data and may be read from any thread.
class SortedTailscale {
public:
    SortedTailscale() = default;
    // Sorts with the calling thread's collation of the current locale.
    explicit SortedTailscale(const QList<RemoteMac>& tailscale);

    // The records, online first, then by name.
    const QList<RemoteMac>& machines() const { return machines_; }

    // What Discovery::merge(tailscale, bonjour) returns for the list this was
    // made from, without sorting the Tailscale records again.
    QList<RemoteMac> mergedWith(const QList<RemoteMac>& bonjour) const;

private:
    QList<RemoteMac> machines_;
    std::vector<NameCollation::Key> keys_; // one per record
    // Where each record was first stored; ties in the sort keep this order,
    // and records from the other side continue it.
    std::vector<qsizetype> storedIndex_;
    QHash<QString, qsizetype> positionByRow_; // row identity → index in machines_
};

} // namespace nimbrook
