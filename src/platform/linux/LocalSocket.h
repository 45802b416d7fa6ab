#pragma once

#include <QString>

namespace nimbrook {

// Whether a program listens on the Unix socket at `path` (a display server,
// say): a connection is made and closed at once.
bool unixSocketAnswers(const QString& path);

} // namespace nimbrook
