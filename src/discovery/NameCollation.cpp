#include "discovery/NameCollation.h"

#include <memory>

namespace nimbrook {

namespace {

QLocale collationLocale(const QLocale& locale) {
    // Qt compares plain code units under the C locale, which would put "Lab 10"
    // before "Lab 2" and "zulu" before "Alpha" for anyone running with LANG=C.
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

QCollator makeCollator(const QLocale& locale, Qt::CaseSensitivity sensitivity) {
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(sensitivity);
    collator.setIgnorePunctuation(false);
    return collator;
}

} // namespace

NameCollation::NameCollation(const QLocale& locale)
    : locale_(collationLocale(locale))
    , primary_(makeCollator(locale_, Qt::CaseInsensitive))
    , tieBreak_(makeCollator(locale_, Qt::CaseSensitive)) {
}

const NameCollation& NameCollation::forCurrentLocale() {
    thread_local std::unique_ptr<NameCollation> cached;
    const QLocale current = collationLocale(QLocale());
    if (!cached || cached->locale() != current)
        cached = std::make_unique<NameCollation>(current);
    return *cached;
}

NameCollation::Key NameCollation::key(const QString& name) const {
    return Key(primary_.sortKey(name), name);
}

std::vector<NameCollation::Key> NameCollation::keys(const QList<QString>& names) const {
    std::vector<Key> result;
    result.reserve(std::size_t(names.size()));
    QHash<QString, QCollatorSortKey> current;
    current.reserve(names.size());
    for (const QString& name : names) {
        auto found = current.constFind(name);
        if (found == current.cend()) {
            const auto earlier = previous_.constFind(name);
            found = current.insert(name,
                                   earlier != previous_.cend() ? *earlier : primary_.sortKey(name));
        }
        result.push_back(Key(*found, name));
    }
    previous_ = std::move(current);
    return result;
}

int NameCollation::compare(const QString& a, const QString& b) const {
    if (const int order = primary_.compare(a, b))
        return order;
    return breakTie(a, b);
}

int NameCollation::compare(const Key& a, const Key& b) const {
    if (const int order = a.primary_.compare(b.primary_))
        return order;
    return breakTie(a.text_, b.text_);
}

int NameCollation::breakTie(const QString& a, const QString& b) const {
    // Many machines share a name ("MacBook Pro"): settle those without the
    // collator, which costs a microsecond a call.
    if (a == b)
        return 0;
    if (const int order = tieBreak_.compare(a, b))
        return order;
    return a.compare(b, Qt::CaseSensitive);
}

} // namespace nimbrook
