#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace nimbrook {

// The most a tool may write before its output counts as unreadable. Tailscale
// writes about 1.45 KB per peer: a 100,000-peer tailnet, far beyond the
// largest real ones, reports ~145 MB and fits with a third to spare, while a
// tool that writes without end costs at most this much memory, not gigabytes.
inline constexpr qsizetype maxToolOutput = qsizetype(192) * 1024 * 1024;

// Runs `path` with `arguments`, reading its standard output to the end, and
// returns what it wrote. Standard error goes to /dev/null; standard input,
// environment and working directory are inherited; no other descriptor of ours
// reaches the child. If the output has not ended after `timeout`: SIGTERM if the
// child still runs, `killGrace` later SIGKILL if it still runs, `killGrace`
// later the read is abandoned. A child still running when the read ends is
// killed at once. The child is always reaped; its exit status is not read.
// Never fails: a launch failure gives an empty result, a timeout the bytes
// read so far. Blocks the calling thread.
//
// `abortFd`, when not -1, is a descriptor that becomes readable when the caller
// wants the run cut short: the child is then killed and reaped, and the bytes
// read so far are returned.
//
// Output longer than `outputLimit` is not read on: the child is killed at
// once and the result is empty, as for a tool that could not run.
//
// The result's capacity leaves at least `outputSlack` bytes past its end, so a
// parser that reads ahead in blocks needs no copy of it.
inline constexpr qsizetype outputSlack = 64;

QByteArray runProcessBlocking(const QString& path, const QStringList& arguments,
                              std::chrono::milliseconds timeout,
                              std::chrono::milliseconds killGrace, int abortFd = -1,
                              qsizetype outputLimit = maxToolOutput);

} // namespace nimbrook
