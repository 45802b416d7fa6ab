#pragma once

#include <QString>
#include <QStringView>

namespace nimbrook {

// Reduces the many forms of one machine's name (computer name, local host name,
// Tailscale DNS name, Bonjour service name) to one comparable identity: lowercase
// letters and digits with a single "-" between words. Pure and thread-safe.
class MachineIdentity {
public:
    MachineIdentity() = delete;

    // Identity of free text: fold case, diacritics and wide/narrow forms, delete
    // apostrophes, turn every run of other non-alphanumerics into one "-" (none at
    // either end), lowercase. Text without letters or digits yields "".
    static QString fromDisplayName(QStringView displayName);

    // Identity of the first non-empty dot-separated label of a host or DNS name;
    // a name made only of dots (or empty) is taken whole.
    static QString fromHostname(QStringView hostname);
};

} // namespace nimbrook
