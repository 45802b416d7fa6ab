#pragma once

#include "discovery/StatusReport.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <mutex>

namespace nimbrook {

// Decodes reports one after another with the same parsers, whose buffers are
// kept for the next report of about the same size: allocating them afresh
// costs as much as the parsing. After one large report, the first much smaller
// one gives them back. A report is scanned whole, then each of its top-level
// values and peers is checked and read by a parse of its own, so that beside
// the report only the scan's index and one peer are held. Thread-safe; reports
// are decoded one at a time.
class StatusDecoder {
public:
    StatusDecoder();
    ~StatusDecoder();
    StatusDecoder(const StatusDecoder&) = delete;
    StatusDecoder& operator=(const StatusDecoder&) = delete;

    // As parseStatusReport().
    StatusReport decode(const QByteArray& output, const QStringList& operatingSystems);

private:
    struct Parser;
    std::mutex lock_;
    std::unique_ptr<Parser> parser_;
};

// The most machines one report lists: far more than anyone can choose from,
// and few enough that the records of a flooded report stay small beside it.
constexpr qsizetype maxListedMachines = 50'000;

// Decodes `tailscale status --json` output, listing the peers whose "OS" is one
// of `operatingSystems` (lower case). Never fails: unreadable output is
// `notRunning`. Thread-safe. Beyond maxListedMachines, machines are left out
// in the order of the peer table and counted in `leftOut`.
//
// Decoding is strict about the keys it reads: null counts as absent, any other
// wrong type makes the whole report unreadable, and so does text that is not
// JSON anywhere in the report. Every other key is ignored; of keys given twice
// the last one counts.
StatusReport parseStatusReport(const QByteArray& output, const QStringList& operatingSystems);

// The peers listed unless the user asks for others: Macs.
inline const QStringList defaultOperatingSystems{QStringLiteral("macos")};

// Cuts every string of the JSON text `json` to at most `maxBytes` bytes, in
// place; returns how many bytes went. The text stays valid JSON.
qsizetype shortenLongJsonStrings(QByteArray& json, qsizetype maxBytes);

} // namespace nimbrook
