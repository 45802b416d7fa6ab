#include "model/TerminalText.h"

#include "model/CodePoints.h"

namespace nimbrook {

namespace {

constexpr char32_t replacement = 0xFFFD;

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

qsizetype width(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
        return 0;
    default:
        return isWide(c) ? 2 : 1;
    }
}

} // namespace

bool isUnsafeForTerminal(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return true;
    if (c >= 0xD800 && c <= 0xDFFF)
        return true;
    switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString terminalSafe(QStringView text) {
    QString safe;
    safe.reserve(text.size());
    CodePoints it(text);
    while (it.hasNext()) {
        const char32_t c = it.next();
        const char32_t shown = isUnsafeForTerminal(c) ? replacement : c;
        for (const QChar unit : QChar::fromUcs4(shown))
            safe += unit;
    }
    return safe;
}

qsizetype displayWidth(QStringView text) {
    qsizetype columns = 0;
    CodePoints it(text);
    while (it.hasNext())
        columns += width(it.next());
    return columns;
}

QString elidedToWidth(QStringView text, qsizetype columns) {
    // One pass that stops at the first character past the limit: a name of
    // megabytes costs no more than one that fits.
    qsizetype used = 0;
    qsizetype fitsBefore = 0; // where the text is cut if it does not fit
    CodePoints it(text);
    while (it.hasNext()) {
        const qsizetype w = width(it.next());
        if (used + w <= columns - 1)
            fitsBefore = it.index();
        used += w;
        if (used > columns)
            return text.left(fitsBefore).toString() + QChar(0x2026);
    }
    return text.toString();
}

} // namespace nimbrook
