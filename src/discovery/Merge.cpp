#include "discovery/Discovery.h"

#include "discovery/SortedTailscale.h"

namespace nimbrook {

QList<RemoteMac> Discovery::merge(const QList<RemoteMac>& tailscale,
                                  const QList<RemoteMac>& bonjour) {
    return SortedTailscale(tailscale).mergedWith(bonjour);
}

} // namespace nimbrook
