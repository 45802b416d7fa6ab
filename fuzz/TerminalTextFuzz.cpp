// No text, however hostile, reaches a terminal with a character it could act
// on, and cutting it to a width keeps it so.
#include "model/TerminalText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbrook;
    // Raw UTF-16 code units, so unpaired surrogates and NULs reach the code.
    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / sizeof(QChar)));
    const QString safe = terminalSafe(text);
    for (qsizetype i = 0; i < safe.size(); ++i) {
        const QChar c = safe[i];
        char32_t codePoint = c.unicode();
        if (c.isHighSurrogate() && i + 1 < safe.size() && safe[i + 1].isLowSurrogate())
            codePoint = QChar::surrogateToUcs4(c, safe[++i]);
        check(!isUnsafeForTerminal(codePoint));
    }
    check(displayWidth(elidedToWidth(safe, 40)) <= 40);

    // Cutting never splits a character into halves a terminal could misread.
    const QString cut = elidedToWidth(safe, 40);
    check(cut == safe || cut.endsWith(QChar(0x2026)));
    check(terminalSafe(cut) == cut);
    return 0;
}
