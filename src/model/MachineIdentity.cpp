#include "model/MachineIdentity.h"

#include <QChar>

namespace nimbrook {

namespace {

// Deleted outright, so "Guest’s" and "Guests" meet.
constexpr char32_t apostrophe = U'\'';
constexpr char32_t rightSingleQuotationMark = U'\u2019';
constexpr char32_t modifierLetterApostrophe = U'\u02BC';

bool isApostrophe(char32_t c) {
    return c == apostrophe || c == rightSingleQuotationMark || c == modifierLetterApostrophe;
}

// Letters, marks and numbers (general categories L*, M*, N*).
bool isAlphanumeric(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
        return true;
    default:
        return false;
    }
}

// Calls visit(codePoint) for each code point; an unpaired surrogate is passed on
// as itself (category Cs), so it counts as a separator rather than vanishing.
template <typename Visit> void forEachCodePoint(QStringView text, Visit&& visit) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar unit = text[i];
        if (unit.isHighSurrogate() && i + 1 < size && text[i + 1].isLowSurrogate()) {
            visit(QChar::surrogateToUcs4(unit, text[i + 1]));
            ++i;
        } else {
            visit(char32_t(unit.unicode()));
        }
    }
}

void appendCodePoint(QString& out, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    } else {
        out.append(QChar(char16_t(c)));
    }
}

// Most names are plain ASCII; folding them is just lowercasing, so the whole
// pipeline collapses into one pass without allocating intermediates.
QString asciiIdentity(QStringView name) {
    QString out;
    out.reserve(name.size());
    bool separatorPending = false;
    for (const QChar unit : name) {
        const char16_t c = unit.unicode();
        if (c == u'\'')
            continue;
        const bool digit = c >= u'0' && c <= u'9';
        const bool upper = c >= u'A' && c <= u'Z';
        const bool lower = c >= u'a' && c <= u'z';
        if (!(digit || upper || lower)) {
            separatorPending = true;
            continue;
        }
        if (separatorPending && !out.isEmpty())
            out.append(u'-');
        separatorPending = false;
        out.append(QChar(upper ? char16_t(c + (u'a' - u'A')) : c));
    }
    return out;
}

bool isAscii(QStringView text) {
    for (const QChar unit : text) {
        if (unit.unicode() >= 0x80)
            return false;
    }
    return true;
}

// An unpaired surrogate stands for nothing: make it U+FFFD, a symbol and so a
// separator, as it would have been. Left as it is, deleting a mark between two
// of them would fuse them into a new character.
QString withoutLoneSurrogates(QStringView text) {
    QString out;
    out.reserve(text.size());
    forEachCodePoint(text, [&](char32_t c) {
        appendCodePoint(out, QChar::isSurrogate(c) ? char32_t(QChar::ReplacementCharacter) : c);
    });
    return out;
}

// Case-, diacritic- and width-insensitive folding. Width folding takes only the
// wide and narrow compatibility forms (full-width Latin, half-width katakana);
// other compatibility forms such as ligatures or superscripts stay as they are.
QString fold(QStringView text) {
    QString widthFolded;
    widthFolded.reserve(text.size());
    forEachCodePoint(text, [&](char32_t c) {
        const auto tag = QChar::decompositionTag(c);
        if (tag == QChar::Wide || tag == QChar::Narrow)
            widthFolded.append(QChar::decomposition(c));
        else
            appendCodePoint(widthFolded, c);
    });

    const QString decomposed = widthFolded.toCaseFolded().normalized(QString::NormalizationForm_D);
    QString withoutMarks;
    withoutMarks.reserve(decomposed.size());
    forEachCodePoint(decomposed, [&](char32_t c) {
        if (QChar::category(c) != QChar::Mark_NonSpacing)
            appendCodePoint(withoutMarks, c);
    });
    // Recompose what decomposition split apart without a mark to drop
    // (Hangul syllables, for one), so identities stay in their usual form.
    return withoutMarks.normalized(QString::NormalizationForm_C);
}

} // namespace

QString MachineIdentity::fromDisplayName(QStringView displayName) {
    if (isAscii(displayName))
        return asciiIdentity(displayName);

    const QString folded = fold(withoutLoneSurrogates(displayName));

    QString collapsed;
    collapsed.reserve(folded.size());
    bool separatorPending = false;
    forEachCodePoint(folded, [&](char32_t c) {
        if (isApostrophe(c))
            return;
        if (!isAlphanumeric(c)) {
            separatorPending = true;
            return;
        }
        if (separatorPending && !collapsed.isEmpty())
            collapsed.append(u'-');
        separatorPending = false;
        appendCodePoint(collapsed, c);
    });
    return collapsed.toLower();
}

QString MachineIdentity::fromHostname(QStringView hostname) {
    for (const QStringView label : hostname.tokenize(u'.', Qt::SkipEmptyParts))
        return fromDisplayName(label);
    return fromDisplayName(hostname);
}

} // namespace nimbrook
