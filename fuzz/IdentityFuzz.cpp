// Any text is a valid machine name: both identity functions must return, for
// every input, a text of lowercase alphanumerics joined by single "-", and
// applying them again must change nothing; the quick way for Latin names and
// the full way agree.
#include "model/MachineIdentity.h"

#include <QChar>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkWellFormed(const QString& identity) {
    check(!identity.startsWith(u'-') && !identity.endsWith(u'-'));
    check(!identity.contains(QStringLiteral("--")));
    check(nimbrook::MachineIdentity::fromDisplayName(identity) == identity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Raw UTF-16 code units, so unpaired surrogates and NULs reach the code.
    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / sizeof(QChar)));
    checkWellFormed(nimbrook::MachineIdentity::fromDisplayName(text));
    checkWellFormed(nimbrook::MachineIdentity::fromHostname(text));
    // A trailing mark on a space changes nothing, but sends any name the full
    // way: the quick way for Latin names must agree with it.
    check(nimbrook::MachineIdentity::fromDisplayName(text) ==
          nimbrook::MachineIdentity::fromDisplayName(text + QStringLiteral(" \u0300")));
    return 0;
}
