#include "discovery/Discovery.h"

#include "discovery/NameCollation.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace nimbrook {

QList<RemoteMac> Discovery::merge(const QList<RemoteMac>& tailscale,
                                  const QList<RemoteMac>& bonjour) {
    // Records in first-stored order, with an index by row identity; keeping the
    // order makes ties come out the same way on every run.
    QList<RemoteMac> records;
    records.reserve(tailscale.size() + bonjour.size());
    QHash<QString, qsizetype> indexByKey;
    indexByKey.reserve(tailscale.size() + bonjour.size());

    for (const RemoteMac& mac : tailscale) {
        const QString key = mac.rowIdentity();
        if (const auto found = indexByKey.constFind(key); found != indexByKey.cend()) {
            records[*found] = mac;
        } else {
            indexByKey.insert(key, records.size());
            records.append(mac);
        }
    }

    for (const RemoteMac& mac : bonjour) {
        const QString key = mac.rowIdentity();
        const auto found = indexByKey.constFind(key);
        if (found == indexByKey.cend()) {
            indexByKey.insert(key, records.size());
            records.append(mac);
            continue;
        }
        // Seen on the local network too: the local sighting's name and address
        // win, the earlier record's identifier survives.
        RemoteMac& earlier = records[*found];
        earlier = RemoteMac{earlier.id, earlier.identity,          mac.name, mac.address,
                            true,       RemoteMac::Source::bonjour};
    }

    const NameCollation& collation = NameCollation::forCurrentLocale();
    QList<QString> names;
    names.reserve(records.size());
    for (const RemoteMac& mac : records)
        names.append(mac.name);
    const std::vector<NameCollation::Key> keys = collation.keys(names);

    std::vector<qsizetype> order(records.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (records[a].online != records[b].online)
            return records[a].online;
        return collation.compare(keys[a], keys[b]) < 0;
    });

    QList<RemoteMac> merged;
    merged.reserve(records.size());
    for (const qsizetype index : order)
        merged.append(std::move(records[index]));
    return merged;
}

} // namespace nimbrook
