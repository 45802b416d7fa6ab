#include "model/MachineIdentity.h"

#include "model/CodePoints.h"

#include <QChar>

#include <array>
#include <optional>

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
    for (CodePoints it(text); it.hasNext();)
        visit(it.next());
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

// The whole folding, for any text.
QString foldedIdentity(QStringView displayName) {
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

// What one UTF-16 unit adds to an identity, when that does not depend on its
// neighbours: nothing, a separator, or letters and digits.
struct UnitFold {
    enum class Kind : quint8 { dependsOnNeighbours, skipped, separator, text };
    Kind kind = Kind::dependsOnNeighbours;
    QString text; // lower case
};

// Latin and its extensions below U+0250, and the apostrophes: most names are
// made of these alone.
constexpr char16_t quickLimit = 0x250;

UnitFold unitFold(char16_t unit) {
    using Kind = UnitFold::Kind;
    if (isApostrophe(unit))
        return {Kind::skipped, {}};
    const auto isMark = [](char32_t c) {
        const QChar::Category category = QChar::category(c);
        return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
               category == QChar::Mark_Enclosing;
    };
    // A mark changes the character before it; what folding leaves of a
    // character must be starters that compose with nothing.
    if (QChar::isSurrogate(unit) || isMark(unit))
        return {};
    const QString folded = fold(QStringView(&unit, 1));
    if (folded.isEmpty())
        return {};
    bool alphanumeric = true;
    for (CodePoints it(folded); it.hasNext();) {
        const char32_t c = it.next();
        if (isMark(c) || QChar::combiningClass(c) != 0 || (c >= 0x1100 && c <= 0x11FF))
            return {};
        alphanumeric = alphanumeric && isAlphanumeric(c) && !isApostrophe(c);
    }
    if (alphanumeric)
        return {Kind::text, folded.toLower()};
    if (folded.size() == 1 && !isApostrophe(folded[0].unicode()))
        return {Kind::separator, {}};
    return {};
}

const UnitFold& quickFold(char16_t unit) {
    static const auto table = [] {
        std::array<UnitFold, quickLimit> folds;
        for (char16_t c = 0; c < quickLimit; ++c)
            folds[c] = unitFold(c);
        return folds;
    }();
    static const UnitFold skipped{UnitFold::Kind::skipped, {}};
    static const UnitFold other{};
    if (unit < quickLimit)
        return table[unit];
    return isApostrophe(unit) ? skipped : other;
}

// One pass over the units for names made of ASCII, Latin letters and
// apostrophes; none when another character could change its neighbours.
std::optional<QString> quickIdentity(QStringView name) {
    using Kind = UnitFold::Kind;
    QString out(name.size() * 2, Qt::Uninitialized);
    QChar* const begin = out.data();
    QChar* end = begin;
    bool separatorPending = false;
    const auto append = [&](QChar c) {
        if (separatorPending && end != begin)
            *end++ = u'-';
        separatorPending = false;
        *end++ = c;
    };
    for (const QChar unit : name) {
        const char16_t c = unit.unicode();
        if (c < 0x80) {
            if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z'))
                append(unit);
            else if (c >= u'A' && c <= u'Z')
                append(QChar(char16_t(c + (u'a' - u'A'))));
            else if (c != u'\'')
                separatorPending = true;
            continue;
        }
        const UnitFold& fold = quickFold(c);
        switch (fold.kind) {
        case Kind::dependsOnNeighbours:
            return std::nullopt;
        case Kind::skipped:
            break;
        case Kind::separator:
            separatorPending = true;
            break;
        case Kind::text:
            // Room for it: a unit folds to at most two.
            if (fold.text.size() > 2)
                return std::nullopt;
            for (const QChar folded : fold.text)
                append(folded);
            break;
        }
    }
    out.truncate(end - begin);
    return out;
}

} // namespace

QString MachineIdentity::fromDisplayName(QStringView displayName) {
    if (std::optional<QString> quick = quickIdentity(displayName))
        return *std::move(quick);
    return foldedIdentity(displayName);
}

QString MachineIdentity::fromHostname(QStringView hostname) {
    for (const QStringView label : hostname.tokenize(u'.', Qt::SkipEmptyParts))
        return fromDisplayName(label);
    return fromDisplayName(hostname);
}

} // namespace nimbrook
