#pragma once

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>

#include <vector>

namespace nimbrook {

// The order a file browser gives names: the user's locale, case and width
// ignored, digit runs compared by value ("Lab 2" before "Lab 10"). The order is
// total: names that differ only in case or width are still ordered (case-
// sensitively, then by code point), so only identical texts compare equal.
//
// Not thread-safe; use one instance per thread (forCurrentLocale() does).
class NameCollation {
public:
    // Precomputed for sorting many names: comparing two keys is mostly a
    // byte comparison.
    class Key {
    public:
        const QString& text() const { return text_; }

    private:
        friend class NameCollation;
        Key(QCollatorSortKey primary, QString text)
            : primary_(std::move(primary))
            , text_(std::move(text)) {}
        QCollatorSortKey primary_;
        QString text_;
    };

    // The C/POSIX locale carries no collation of its own; it gets US English.
    explicit NameCollation(const QLocale& locale);

    // The collation of the current default locale, cached per thread.
    static const NameCollation& forCurrentLocale();

    Key key(const QString& name) const;
    // Keys for a whole list, in order. Keys made for the previous call are
    // reused, and only this call's are kept for the next one: the same names
    // come back with every merge, and names that are gone are let go.
    std::vector<Key> keys(const QList<QString>& names) const;
    // Negative, zero or positive; zero only when the texts are identical.
    int compare(const QString& a, const QString& b) const;
    int compare(const Key& a, const Key& b) const;

    const QLocale& locale() const { return locale_; }

private:
    int breakTie(const QString& a, const QString& b) const;

    QLocale locale_;
    QCollator primary_;  // case-insensitive, numeric
    QCollator tieBreak_; // case-sensitive, numeric
    mutable QHash<QString, QCollatorSortKey> previous_;
};

} // namespace nimbrook
