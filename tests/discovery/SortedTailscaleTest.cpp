#include "discovery/SortedTailscale.h"
#include "discovery/Discovery.h"
#include "discovery/NameCollation.h"

#include "PrintTo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace nimbrook {
namespace {

using Source = RemoteMac::Source;

// The merge written the plain way: every record in first-stored order, one
// stable sort over both sides at once.
QList<RemoteMac> referenceMerge(const QList<RemoteMac>& tailscale,
                                const QList<RemoteMac>& bonjour) {
    QList<RemoteMac> records;
    auto indexOf = [&](const QString& row) {
        for (qsizetype i = 0; i < records.size(); ++i)
            if (records[i].rowIdentity() == row)
                return i;
        return qsizetype(-1);
    };
    for (const RemoteMac& mac : tailscale) {
        const qsizetype found = indexOf(mac.rowIdentity());
        if (found < 0)
            records.append(mac);
        else
            records[found] = mac;
    }
    for (const RemoteMac& mac : bonjour) {
        const qsizetype found = indexOf(mac.rowIdentity());
        if (found < 0) {
            records.append(mac);
            continue;
        }
        RemoteMac& earlier = records[found];
        earlier =
            RemoteMac{earlier.id, earlier.identity, mac.name, mac.address, true, Source::bonjour};
    }
    const NameCollation& collation = NameCollation::forCurrentLocale();
    std::stable_sort(records.begin(), records.end(), [&](const RemoteMac& a, const RemoteMac& b) {
        if (a.online != b.online)
            return a.online;
        return collation.compare(a.name, b.name) < 0;
    });
    return records;
}

// Small pools, so that rows, names and identities collide often.
class RecordMaker {
public:
    explicit RecordMaker(unsigned seed)
        : random_(seed) {}

    QList<RemoteMac> list(Source source, int maximum) {
        QList<RemoteMac> macs;
        const int count = pick(maximum + 1);
        for (int i = 0; i < count; ++i)
            macs.append(record(source));
        return macs;
    }

private:
    int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

    RemoteMac record(Source source) {
        static const QStringList names{QStringLiteral("Studio"),  QStringLiteral("studio"),
                                       QStringLiteral("Lab 2"),   QStringLiteral("Lab 10"),
                                       QStringLiteral("lab 2"),   QStringLiteral("Ünïcode"),
                                       QStringLiteral("unicode"), QStringLiteral("Mini"),
                                       QStringLiteral("!!!"),     QStringLiteral("Zulu")};
        static const QStringList identities{QStringLiteral("studio"), QStringLiteral("lab-2"),
                                            QStringLiteral("mini"), QStringLiteral("zulu"),
                                            QString()};
        const QString identity = identities[pick(int(identities.size()))];
        const QString id = source == Source::tailscale
                               ? QStringLiteral("host-%1.tail.ts.net.").arg(pick(6))
                               : QStringLiteral("bonjour:service %1").arg(pick(6));
        return RemoteMac{id,
                         identity,
                         names[pick(int(names.size()))],
                         QStringLiteral("10.0.0.%1").arg(pick(250)),
                         source == Source::bonjour || pick(2) == 0,
                         source};
    }

    std::mt19937 random_;
};

TEST(SortedTailscaleTest, MergingIntoThePreparedSideEqualsSortingEverything) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        RecordMaker maker(seed);
        const QList<RemoteMac> tailscale = maker.list(Source::tailscale, 12);
        const SortedTailscale sorted(tailscale);
        EXPECT_EQ(sorted.machines(), referenceMerge(tailscale, {})) << "seed " << seed;
        // One prepared side serves many merges, and none of them changes it.
        for (int round = 0; round < 3; ++round) {
            const QList<RemoteMac> bonjour = maker.list(Source::bonjour, 8);
            ASSERT_EQ(sorted.mergedWith(bonjour), referenceMerge(tailscale, bonjour))
                << "seed " << seed << " round " << round;
        }
        EXPECT_EQ(Discovery::merge(tailscale, maker.list(Source::bonjour, 0)),
                  referenceMerge(tailscale, {}));
    }
}

TEST(SortedTailscaleTest, CopiesShareTheirRecords) {
    QList<RemoteMac> many;
    for (int i = 0; i < 100; ++i)
        many.append(RemoteMac{QStringLiteral("host-%1.ts.net.").arg(i),
                              QStringLiteral("host-%1").arg(i), QStringLiteral("Host %1").arg(i),
                              QStringLiteral("100.64.0.1"), true, Source::tailscale});
    const SortedTailscale sorted(many);
    // Publishing a list with nothing from the local network must not copy it.
    EXPECT_TRUE(sorted.mergedWith({}).isSharedWith(sorted.machines()));
}

} // namespace
} // namespace nimbrook
