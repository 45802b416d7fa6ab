#include "discovery/Discovery.h"

#include <algorithm>

#include "discovery/SortedTailscale.h"

namespace nimbrook {

QList<RemoteMac> Discovery::merge(const QList<RemoteMac>& tailscale,
                                  const QList<RemoteMac>& bonjour) {
    return SortedTailscale(tailscale).mergedWith(bonjour);
}

QList<RemoteMac> Discovery::pinnedFirst(QList<RemoteMac> macs, const QSet<QString>& pinned) {
    if (pinned.isEmpty())
        return macs;
    std::stable_partition(macs.begin(), macs.end(),
                          [&](const RemoteMac& mac) { return pinned.contains(mac.rowIdentity()); });
    return macs;
}

} // namespace nimbrook
