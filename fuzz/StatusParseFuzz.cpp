// Whatever the Tailscale tool prints, decoding gives a defined report: a
// state the decoder may give, machines only when the state is ok, each with
// an id, an address, and the identity of its DNS name. Cutting long strings
// keeps JSON JSON.
#include "discovery/StatusParse.h"
#include "model/MachineIdentity.h"

#include <QJsonDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbrook;
    const QByteArray output(reinterpret_cast<const char*>(data), qsizetype(size));
    const StatusReport report = parseStatusReport(output, {QStringLiteral("macos")});
    QJsonParseError before{};
    QJsonParseError after{};
    QJsonDocument::fromJson(output, &before);
    QByteArray shortened = output;
    shortenLongJsonStrings(shortened, 8);
    QJsonDocument::fromJson(shortened, &after);
    if (before.error == QJsonParseError::NoError && after.error != QJsonParseError::NoError)
        std::abort();
    if (report.state == TailscaleState::searching || report.state == TailscaleState::notInstalled)
        std::abort();
    if (report.state != TailscaleState::ok && !report.macs.isEmpty())
        std::abort();
    for (const RemoteMac& mac : report.macs) {
        if (mac.id.isEmpty() || mac.address.isEmpty() || mac.source != RemoteMac::Source::tailscale)
            std::abort();
        if (mac.identity != MachineIdentity::fromHostname(mac.id))
            std::abort();
    }
    return 0;
}
