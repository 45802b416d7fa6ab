#pragma once

#include <QString>
#include <QStringView>

namespace nimbrook {

// Whether a character must not reach a terminal as it stands: C0 and C1
// controls and DEL, which a terminal acts on; format characters (Cf), among
// them the bidirectional overrides and isolates, which reorder what is read;
// line and paragraph separators, which break a line-per-machine listing; and
// unpaired surrogates, which have no character at all.
bool isUnsafeForTerminal(char32_t codePoint);

// `text` with every unsafe character replaced by U+FFFD.
QString terminalSafe(QStringView text);

// How many terminal columns `text` takes: two for East Asian wide and
// full-width characters (and most emoji), none for combining marks, one for
// the rest.
qsizetype displayWidth(QStringView text);

// `text` cut to at most `columns` columns, ending in "…" when cut.
QString elidedToWidth(QStringView text, qsizetype columns);

} // namespace nimbrook
