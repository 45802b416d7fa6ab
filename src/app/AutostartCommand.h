#pragma once

#include "app/CommandLine.h"

#include <cstdio>

namespace nimbrook {

class Autostart;

// `nimbrook --autostart on|off|status`: does what was asked of `autostart`
// for `program` and says what came of it, on `out` (or `err` for a failure).
// Returns the exit status: 0, or 1 when the entry could not be changed.
int runAutostart(CommandLine::AutostartRequest request, Autostart& autostart,
                 const QString& program, std::FILE* out, std::FILE* err);

} // namespace nimbrook
