#include "discovery/SortedTailscale.h"

#include <algorithm>
#include <numeric>

namespace nimbrook {

namespace {

// A record of the local-network side, with the place merge() gives it in the
// first-stored order.
struct LocalRecord {
    RemoteMac mac;
    qsizetype storedIndex;
};

// A sighting on the local network of a machine met before: its name and address
// win, the earlier record's identifier and identity survive.
RemoteMac seenLocally(const RemoteMac& earlier, const RemoteMac& sighting) {
    return RemoteMac{earlier.id, earlier.identity,          sighting.name, sighting.address,
                     true,       RemoteMac::Source::bonjour};
}

std::vector<NameCollation::Key> keysOf(const NameCollation& collation,
                                       const QList<RemoteMac>& macs) {
    QList<QString> names;
    names.reserve(macs.size());
    for (const RemoteMac& mac : macs)
        names.append(mac.name);
    return collation.keys(names);
}

} // namespace

SortedTailscale::SortedTailscale(const QList<RemoteMac>& tailscale) {
    // One record per row identity, in first-stored order; a later record of a
    // row replaces the earlier one's content in its place.
    QList<RemoteMac> records;
    records.reserve(tailscale.size());
    QHash<QString, qsizetype> indexByRow;
    indexByRow.reserve(tailscale.size());
    for (const RemoteMac& mac : tailscale) {
        const QString row = mac.rowIdentity();
        if (const auto found = indexByRow.constFind(row); found != indexByRow.cend()) {
            records[*found] = mac;
        } else {
            indexByRow.insert(row, records.size());
            records.append(mac);
        }
    }

    const NameCollation& collation = NameCollation::forCurrentLocale();
    std::vector<NameCollation::Key> keys = keysOf(collation, records);
    std::vector<qsizetype> order(std::size_t(records.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (records[a].online != records[b].online)
            return records[a].online;
        return collation.compare(keys[std::size_t(a)], keys[std::size_t(b)]) < 0;
    });

    machines_.reserve(records.size());
    keys_.reserve(order.size());
    storedIndex_.reserve(order.size());
    positionByRow_.reserve(records.size());
    for (const qsizetype index : order) {
        positionByRow_.insert(records[index].rowIdentity(), machines_.size());
        machines_.append(std::move(records[index]));
        keys_.push_back(std::move(keys[std::size_t(index)]));
        storedIndex_.push_back(index);
    }
}

QList<RemoteMac> SortedTailscale::mergedWith(const QList<RemoteMac>& bonjour) const {
    if (bonjour.isEmpty())
        return machines_;

    std::vector<LocalRecord> local;
    local.reserve(std::size_t(bonjour.size()));
    QHash<QString, std::size_t> localByRow;
    std::vector<bool> replaced(std::size_t(machines_.size()), false);
    qsizetype nextIndex = machines_.size();
    for (const RemoteMac& mac : bonjour) {
        const QString row = mac.rowIdentity();
        if (const auto found = localByRow.constFind(row); found != localByRow.cend()) {
            RemoteMac& earlier = local[*found].mac;
            earlier = seenLocally(earlier, mac);
        } else if (const auto position = positionByRow_.constFind(row);
                   position != positionByRow_.cend()) {
            replaced[std::size_t(*position)] = true;
            localByRow.insert(row, local.size());
            local.push_back(
                {seenLocally(machines_[*position], mac), storedIndex_[std::size_t(*position)]});
        } else {
            localByRow.insert(row, local.size());
            local.push_back({mac, nextIndex++});
        }
    }

    const NameCollation& collation = NameCollation::forCurrentLocale();
    QList<RemoteMac> localMacs;
    localMacs.reserve(qsizetype(local.size()));
    for (const LocalRecord& record : local)
        localMacs.append(record.mac);
    const std::vector<NameCollation::Key> localKeys = keysOf(collation, localMacs);

    // Both sides in one order: online first, then by name, then first stored.
    // The stored index makes the order total, so merging the two sorted runs
    // gives what sorting everything together would.
    auto precedes = [&](const RemoteMac& a, const NameCollation::Key& aKey, qsizetype aIndex,
                        const RemoteMac& b, const NameCollation::Key& bKey, qsizetype bIndex) {
        if (a.online != b.online)
            return a.online;
        if (const int order = collation.compare(aKey, bKey))
            return order < 0;
        return aIndex < bIndex;
    };
    std::vector<std::size_t> localOrder(local.size());
    std::iota(localOrder.begin(), localOrder.end(), std::size_t(0));
    std::sort(localOrder.begin(), localOrder.end(), [&](std::size_t a, std::size_t b) {
        return precedes(local[a].mac, localKeys[a], local[a].storedIndex, local[b].mac,
                        localKeys[b], local[b].storedIndex);
    });

    QList<RemoteMac> merged;
    merged.reserve(machines_.size() + qsizetype(local.size()));
    std::size_t next = 0; // into localOrder
    for (qsizetype position = 0; position < machines_.size(); ++position) {
        const auto at = std::size_t(position);
        if (replaced[at])
            continue;
        while (next < localOrder.size()) {
            const std::size_t candidate = localOrder[next];
            if (!precedes(local[candidate].mac, localKeys[candidate], local[candidate].storedIndex,
                          machines_[position], keys_[at], storedIndex_[at]))
                break;
            merged.append(local[candidate].mac);
            ++next;
        }
        merged.append(machines_[position]);
    }
    for (; next < localOrder.size(); ++next)
        merged.append(local[localOrder[next]].mac);
    return merged;
}

} // namespace nimbrook
