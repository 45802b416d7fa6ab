#include "platform/linux/IniDocument.h"

#include <algorithm>
#include <cstdint>

namespace nimbrook {

namespace {

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

bool isLineBreak(char ch) {
    return ch == '\n' || ch == '\r';
}

// Past the line break at `pos` ("\n", "\r", "\r\n" or "\n\r", as QSettings
// reads them), or `pos` itself at the text's end.
qsizetype afterLineBreak(const QByteArray& text, qsizetype pos) {
    if (pos >= text.size())
        return pos;
    const char first = text.at(pos);
    if (pos + 1 < text.size() && isLineBreak(text.at(pos + 1)) && text.at(pos + 1) != first)
        return pos + 2;
    return pos + 1;
}

QByteArrayView trimmed(QByteArrayView bytes) {
    return bytes.trimmed();
}

} // namespace

IniDocument::IniDocument(QByteArray text)
    : text_(std::move(text)) {
    split();
}

void IniDocument::split() {
    const qsizetype size = text_.size();
    bool inGeneral = true; // keys before any section belong to General
    qsizetype pos = 0;
    while (pos < size) {
        Entry entry;
        entry.lineStart = pos;
        qsizetype i = pos;
        while (i < size && isBlank(text_.at(i)))
            ++i;
        entry.start = i;

        // Up to the line break or comment that ends the entry; a line break in
        // quotes or after a backslash does not.
        qsizetype equals = -1;
        bool inQuotes = false;
        bool comment = i < size && text_.at(i) == ';';
        while (i < size && !comment) {
            const char ch = text_.at(i);
            if (isLineBreak(ch) && !inQuotes)
                break;
            if (ch == ';' && !inQuotes) {
                comment = true;
                break;
            }
            if (ch == '=' && !inQuotes && equals < 0)
                equals = i;
            else if (ch == '"')
                inQuotes = !inQuotes;
            else if (ch == '\\' && i + 1 < size) {
                ++i;
                if (isLineBreak(text_.at(i))) {
                    i = afterLineBreak(text_, i);
                    continue;
                }
            }
            ++i;
        }
        entry.end = i;
        if (comment) {
            while (i < size && !isLineBreak(text_.at(i)))
                ++i;
        }
        entry.nextLine = afterLineBreak(text_, i);

        const QByteArrayView line(text_.constData() + entry.start, entry.end - entry.start);
        if (line.startsWith('[')) {
            entry.isSection = true;
            qsizetype close = line.indexOf(']');
            if (close < 0)
                close = line.size();
            inGeneral =
                trimmed(line.sliced(1, close - 1)).compare("general", Qt::CaseInsensitive) == 0;
        } else if (equals >= 0) {
            entry.key =
                trimmed(QByteArrayView(text_.constData() + entry.start, equals - entry.start))
                    .toByteArray();
            entry.valueStart = equals + 1;
        }
        entry.inGeneral = inGeneral;
        pos = entry.nextLine; // always past `pos`: at least the line break was read
        entries_.push_back(std::move(entry));
    }
}

QByteArray IniDocument::lineBreak() const {
    const qsizetype newline = text_.indexOf('\n');
    return newline > 0 && text_.at(newline - 1) == '\r' ? QByteArrayLiteral("\r\n")
                                                        : QByteArrayLiteral("\n");
}

std::optional<QByteArray> IniDocument::rawValue(QByteArrayView key) const {
    for (auto entry = entries_.crbegin(); entry != entries_.crend(); ++entry) {
        if (entry->inGeneral && !entry->isSection && entry->key == key)
            return text_.mid(entry->valueStart, entry->end - entry->valueStart);
    }
    return std::nullopt;
}

IniDocument IniDocument::withValue(QByteArrayView key,
                                   const std::optional<QByteArray>& encodedValue) const {
    struct Edit {
        qsizetype from;
        qsizetype to;
        QByteArray replacement;
    };
    std::vector<Edit> edits;
    const Entry* lastOfKey = nullptr;
    const Entry* lastInGeneral = nullptr; // a key line, or the [General] line
    for (const Entry& entry : entries_) {
        if (!entry.inGeneral)
            continue;
        if (entry.isSection || !entry.key.isEmpty())
            lastInGeneral = &entry;
        if (entry.key == key) {
            if (lastOfKey)
                edits.push_back({lastOfKey->lineStart, lastOfKey->nextLine, {}});
            lastOfKey = &entry;
        }
    }

    const QByteArray breakText = lineBreak();
    if (!encodedValue) {
        if (lastOfKey)
            edits.push_back({lastOfKey->lineStart, lastOfKey->nextLine, {}});
    } else if (lastOfKey) {
        // The user's spacing around "=" and before a comment stays.
        qsizetype from = lastOfKey->valueStart;
        while (from < lastOfKey->end && isBlank(text_.at(from)))
            ++from;
        qsizetype to = lastOfKey->end;
        while (to > from && isBlank(text_.at(to - 1)))
            --to;
        edits.push_back({from, to, *encodedValue});
    } else {
        QByteArray line = key.toByteArray() + '=' + *encodedValue + breakText;
        if (lastInGeneral) {
            const qsizetype at = lastInGeneral->nextLine;
            if (at == text_.size() && at > 0 && !isLineBreak(text_.back()))
                line.prepend(breakText);
            edits.push_back({at, at, line});
        } else {
            line.prepend("[General]" + breakText);
            if (!text_.isEmpty())
                line.append(breakText);
            edits.push_back({0, 0, line});
        }
    }

    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.from > b.from; });
    QByteArray text = text_;
    for (const Edit& edit : edits)
        text.replace(edit.from, edit.to - edit.from, edit.replacement);
    IniDocument result(std::move(text));
    // A line added after one whose quotes never close would be read as part
    // of it: then the key goes first, where nothing comes before it.
    if (encodedValue && !lastOfKey && result.rawValue(key) != encodedValue) {
        QByteArray first = "[General]" + breakText + key.toByteArray() + '=' + *encodedValue +
                           breakText + breakText;
        result = IniDocument(first + text_);
    }
    return result;
}

namespace {

// The forms QSettings writes for values that are not texts.
bool isVariantForm(QStringView text) {
    static const char* const prefixes[] = {"@ByteArray(", "@Variant(", "@DateTime(",
                                           "@Rect(",      "@Size(",    "@Point("};
    if (!text.endsWith(u')'))
        return false;
    if (text == u"@Invalid()")
        return true;
    return std::any_of(std::begin(prefixes), std::end(prefixes), [text](const char* prefix) {
        return text.startsWith(QLatin1StringView(prefix));
    });
}

void chopTrailingBlanks(QString& text, qsizetype limit) {
    qsizetype size = text.size();
    while (size > limit && (text.at(size - 1) == u' ' || text.at(size - 1) == u'\t'))
        --size;
    text.truncate(size);
}

int hexValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

char escapeFor(char ch) {
    switch (ch) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return ch;
    default:
        return 0;
    }
}

} // namespace

IniValue decodeIniValue(QByteArrayView raw, qsizetype maxEntries) {
    QString current;
    QStringList list;
    bool isList = false;
    bool inQuotes = false;
    bool currentQuoted = false;
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    const qsizetype size = raw.size();

    auto skipBlanks = [&] {
        while (i < size && isBlank(raw.at(i)))
            ++i;
        chopLimit = current.size();
    };
    skipBlanks();
    while (i < size) {
        const char ch = raw.at(i);
        if (ch == '\\') {
            ++i;
            if (i >= size)
                break;
            const char code = raw.at(i++);
            if (const char escaped = escapeFor(code)) {
                current += QLatin1Char(escaped);
            } else if ((code == 'x' && i < size && hexValue(raw.at(i)) >= 0) ||
                       (code >= '0' && code <= '7')) {
                // "\x" without a digit stands for nothing, as QSettings reads it.
                const int base = code == 'x' ? 16 : 8;
                std::uint32_t value = code == 'x' ? 0 : std::uint32_t(code - '0');
                while (i < size) {
                    const int digit = hexValue(raw.at(i));
                    if (digit < 0 || digit >= base)
                        break;
                    value = value * std::uint32_t(base) + std::uint32_t(digit);
                    ++i;
                }
                // One UTF-16 unit, its low 16 bits, as QSettings takes it.
                current += QChar(char16_t(value & 0xFFFF));
            } else if (isLineBreak(code)) {
                if (i < size && isLineBreak(raw.at(i)) && raw.at(i) != code)
                    ++i;
            }
            chopLimit = current.size();
        } else if (ch == '"') {
            ++i;
            currentQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (ch == ',' && !inQuotes) {
            if (!currentQuoted)
                chopTrailingBlanks(current, chopLimit);
            isList = true;
            list.append(std::move(current));
            current.clear();
            if (maxEntries >= 0 && list.size() > maxEntries)
                return IniValue{IniValue::Kind::tooLong, {}, {}};
            currentQuoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype j = i + 1;
            while (j < size && raw.at(j) != '\\' && raw.at(j) != '"' && raw.at(j) != ',')
                ++j;
            current += QString::fromUtf8(raw.sliced(i, j - i));
            i = j;
        }
    }
    if (!currentQuoted)
        chopTrailingBlanks(current, chopLimit);

    if (!isList) {
        if (current.startsWith(u'@')) {
            if (current.startsWith(u"@String(") && current.endsWith(u')'))
                return IniValue{IniValue::Kind::text, current.sliced(8).chopped(1), {}};
            if (isVariantForm(current))
                return IniValue{IniValue::Kind::other, {}, {}};
            if (current.startsWith(u"@@"))
                current.remove(0, 1);
        }
        return IniValue{IniValue::Kind::text, std::move(current), {}};
    }
    list.append(std::move(current));
    if (maxEntries >= 0 && list.size() > maxEntries)
        return IniValue{IniValue::Kind::tooLong, {}, {}};
    for (QString& entry : list) {
        if (!entry.startsWith(u'@'))
            continue;
        if (!entry.startsWith(u"@@"))
            return IniValue{IniValue::Kind::other, {}, {}};
        entry.remove(0, 1);
    }
    return IniValue{IniValue::Kind::list, {}, std::move(list)};
}

namespace {

void appendEscaped(const QString& entry, QByteArray& out) {
    // A leading "@" would read as a variant's form: QSettings doubles it.
    const QString text = entry.startsWith(u'@') ? u'@' + entry : entry;
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        if (escapeNextIfHexDigit && ch < 0x80 && hexValue(char(ch)) >= 0) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (ch) {
        case 0:
            out += "\\0";
            escapeNextIfHexDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1F) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfHexDigit = true;
            } else if (QChar::isHighSurrogate(ch) && i + 1 < text.size()) {
                out += text.sliced(i, 2).toUtf8();
                ++i;
            } else {
                out += QStringView(text).sliced(i, 1).toUtf8();
            }
        }
    }
    if (needsQuotes || (out.size() > start && (out.at(start) == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

} // namespace

QByteArray encodeIniStringList(const QStringList& list) {
    QByteArray out;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += ", ";
        appendEscaped(list.at(i), out);
    }
    return out;
}

} // namespace nimbrook
