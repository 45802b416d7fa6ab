#pragma once

#include <QByteArray>
#include <QString>

namespace nimbrook {

// Whether a program listens on the Unix socket at `path` (a display server,
// say). The kernel's socket table is read first: an X server with no other
// client resets when a connection closes, and a client connecting just then
// is turned away. Only a socket the table does not show (one bound in another
// network namespace) is tried with a connection, closed at once.
bool unixSocketAnswers(const QString& path);

// Whether `table`, the text of /proc/net/unix, holds a listening socket bound
// to `path`, or to `path` in the abstract namespace (X servers listen on both).
bool socketTableListensAt(const QByteArray& table, const QString& path);

} // namespace nimbrook
