#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace nimbrook {

// An INI file in the format QSettings reads and writes, kept as the bytes it
// was made of, so that one key of its General section (the keys before any
// section and those of "[General]") can be changed while every other byte -
// other keys and sections, comments, blank lines, spacing and order - stays as
// the user wrote it. Lines are split as QSettings splits them: a ";" at the
// start of a line, or outside quotes, begins a comment; a newline inside
// quotes or after a backslash continues the line. Pure; any thread.
class IniDocument {
public:
    explicit IniDocument(QByteArray text);

    const QByteArray& text() const { return text_; }

    // The undecoded value of `key` in the General section, after the "=" and
    // up to the line's end or comment; the last one when the key is there more
    // than once, as QSettings reads it. None when the key is not there.
    std::optional<QByteArray> rawValue(QByteArrayView key) const;

    // The document with `key` of the General section set to `encodedValue`,
    // written where it stood (its other occurrences removed), or after the
    // section's last key, or in a "[General]" section put first when there is
    // none. With no value, every occurrence of the key is removed.
    IniDocument withValue(QByteArrayView key, const std::optional<QByteArray>& encodedValue) const;

private:
    struct Entry {
        qsizetype lineStart = 0;  // where the physical line begins (before any indent)
        qsizetype start = 0;      // the entry's first character
        qsizetype valueStart = 0; // after the "="
        qsizetype end = 0;        // at the comment or line break that ends it
        qsizetype nextLine = 0;   // after the line break (or the text's end)
        bool inGeneral = false;
        bool isSection = false;
        QByteArray key; // trimmed; empty for lines that are no key
    };

    void split();
    QByteArray lineBreak() const;

    QByteArray text_;
    std::vector<Entry> entries_;
};

// What an INI value holds, decoded as QSettings decodes it.
struct IniValue {
    // tooLong: a list of more entries than the decoder was asked to take.
    enum class Kind { text, list, other, tooLong };
    Kind kind = Kind::text;
    QString text;     // Kind::text
    QStringList list; // Kind::list
};

// Decodes a raw value as QSettings does: quotes, backslash escapes (\n, and
// \x41 or \101 for one UTF-16 unit: the low 16 bits of the number), a comma
// outside quotes makes a list, "@String(…)" is a text, "@@"
// an escaped "@", and other "@…(…)" forms (variants, byte arrays) are
// Kind::other. Decoding stops with Kind::tooLong once a list has more than
// `maxEntries` entries, so a huge list costs no more than its first entries.
IniValue decodeIniValue(QByteArrayView raw, qsizetype maxEntries = -1);

// The value text QSettings writes for `list` (not empty): the entries escaped
// and joined by ", ", each quoted where it holds ";", "," or "=" or begins or
// ends with a space.
QByteArray encodeIniStringList(const QStringList& list);

} // namespace nimbrook
