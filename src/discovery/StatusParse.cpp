#include "discovery/StatusParse.h"

#include "discovery/NameCollation.h"
#include "discovery/PlainAddress.h"
#include "model/MachineIdentity.h"

#include <QJsonDocument>

#include <simdjson.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbrook {

namespace {

using simdjson::dom::element;

struct Unreadable {};

constexpr qsizetype maxDnsNameLength = 254;
constexpr qsizetype maxNameLength = 256;

template <typename T> using Field = std::optional<T>;

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The values of `keys` in the object `value`, the last one where a key repeats.
template <std::size_t N>
std::array<std::optional<element>, N> valuesOf(const element& value,
                                               const std::array<std::string_view, N>& keys) {
    simdjson::dom::object object;
    if (value.get(object))
        throw Unreadable{};
    std::array<std::optional<element>, N> values;
    for (const simdjson::dom::key_value_pair field : object) {
        // Most keys are none of ours: their length and first letter tell most
        // of them apart without a call to compare.
        const std::string_view key = field.key;
        for (std::size_t i = 0; i < N; ++i) {
            if (key.size() == keys[i].size() && key[0] == keys[i][0] && key == keys[i]) {
                values[i] = field.value;
                break;
            }
        }
    }
    return values;
}

bool isAbsent(const std::optional<element>& value) {
    return !value || value->is_null();
}

Field<std::string_view> optionalString(const std::optional<element>& value) {
    if (isAbsent(value))
        return std::nullopt;
    std::string_view text;
    if (value->get(text))
        throw Unreadable{};
    return text;
}

Field<bool> optionalBool(const std::optional<element>& value) {
    if (isAbsent(value))
        return std::nullopt;
    bool flag = false;
    if (value->get(flag))
        throw Unreadable{};
    return flag;
}

// A string array, checked whole; its strings are read later, by the caller.
Field<simdjson::dom::array> optionalStringArray(const std::optional<element>& value) {
    if (isAbsent(value))
        return std::nullopt;
    simdjson::dom::array array;
    if (value->get(array))
        throw Unreadable{};
    for (const element entry : array) {
        if (!entry.is_string())
            throw Unreadable{};
    }
    return array;
}

constexpr std::array<std::string_view, 6> peerKeys{"HostName", "DNSName", "TailscaleIPs",
                                                   "Online",   "OS",      "ShareeNode"};

// Whether `text`, lower-cased, is one of `lowerCase`. Most peers are not
// listed, and their OS names are short ASCII: those are compared without
// decoding.
bool isOneOf(std::string_view text, const QStringList& lowerCase) {
    if (std::any_of(text.cbegin(), text.cend(), [](char c) { return (c & 0x80) != 0; }))
        return lowerCase.contains(toQString(text).toLower());
    std::string lower(text);
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return lowerCase.contains(QLatin1StringView(lower.data(), qsizetype(lower.size())));
}

// Views into the parsed document: strings become QStrings only for the peers
// that are listed.
struct Peer {
    Field<std::string_view> hostName;
    Field<std::string_view> dnsName;
    Field<simdjson::dom::array> tailscaleIPs;
    Field<bool> online;
    Field<std::string_view> os;
    Field<bool> shareeNode;

    static Peer decode(const element& value) {
        const auto fields = valuesOf(value, peerKeys);
        return Peer{optionalString(fields[0]),      optionalString(fields[1]),
                    optionalStringArray(fields[2]), optionalBool(fields[3]),
                    optionalString(fields[4]),      optionalBool(fields[5])};
    }

    // The machine this peer stands for, if it runs one of `systems` (lower
    // case) and we can address it.
    std::optional<RemoteMac> toMac(const QStringList& systems) const {
        if (!os || !isOneOf(*os, systems))
            return std::nullopt;
        // A machine shared with someone else, shown to us only because they
        // share with us: Tailscale hides it, and it is not ours to reach.
        if (shareeNode.value_or(false))
            return std::nullopt;
        if (!dnsName || dnsName->empty() || !tailscaleIPs)
            return std::nullopt;
        const QString dns = toQString(*dnsName);
        // No DNS name is longer than 253 characters and a final dot: a longer
        // one is not a name at all.
        if (dns.size() > maxDnsNameLength)
            return std::nullopt;
        // Anything but a plain IP address could take the viewer elsewhere
        // ("100.64.0.1@evil.example"): such an entry counts as absent.
        std::optional<QString> address;
        for (const element entry : *tailscaleIPs) {
            QString ip = toQString(std::string_view(entry));
            if (isPlainIpAddress(ip)) {
                address = std::move(ip);
                break;
            }
        }
        if (!address)
            return std::nullopt;
        const QString identity = MachineIdentity::fromHostname(dns);
        // Host names are at most a few dozen characters; one of megabytes would
        // only cost time and memory in every sort and every row that shows it.
        const QString name =
            hostName && !hostName->empty() ? toQString(*hostName).left(maxNameLength) : identity;
        return RemoteMac{
            dns, identity, name, *address, online.value_or(false), RemoteMac::Source::tailscale};
    }
};

QList<RemoteMac> sortedByName(QList<RemoteMac> macs) {
    const NameCollation& collation = NameCollation::forCurrentLocale();
    QStringList names;
    names.reserve(macs.size());
    for (const RemoteMac& mac : macs)
        names.append(mac.name);
    // The keys of the names this thread sorted last are reused.
    const std::vector<NameCollation::Key> keys = collation.keys(names);
    // Positions are sorted, not the records: they move once, at the end.
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return collation.compare(keys[a], keys[b]) < 0;
    });
    QList<RemoteMac> sorted;
    sorted.reserve(macs.size());
    for (const std::size_t index : order)
        sorted.append(std::move(macs[qsizetype(index)]));
    return sorted;
}

// `json` with every number made 0 and every escaped lone surrogate made
// U+FFFD: no number is read, and a lone surrogate stands for no character.
// Empty unless `json` is JSON, so that nothing else gets through.
QByteArray withPlainNumbersAndSurrogates(const QByteArray& json) {
    QJsonParseError error{};
    QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return {};
    const auto isSurrogateEscape = [&](qsizetype at, char16_t first, char16_t last) {
        if (at + 6 > json.size() || json[at] != '\\' || json[at + 1] != 'u')
            return false;
        bool ok = false;
        const uint unit = json.mid(at + 2, 4).toUInt(&ok, 16);
        return ok && unit >= first && unit <= last;
    };
    QByteArray plain;
    plain.reserve(json.size());
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '"') {
                inString = false;
            } else if (isSurrogateEscape(i, 0xD800, 0xDBFF) &&
                       isSurrogateEscape(i + 6, 0xDC00, 0xDFFF)) {
                plain.append(json.mid(i, 12)); // a pair: kept
                i += 11;
                continue;
            } else if (isSurrogateEscape(i, 0xD800, 0xDFFF)) {
                plain.append("\\ufffd");
                i += 5;
                continue;
            } else if (c == '\\') {
                plain.append(json.mid(i, 2));
                ++i;
                continue;
            }
            plain.append(c);
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const auto inNumber = [](char n) {
                return (n >= '0' && n <= '9') || n == '.' || n == 'e' || n == 'E' || n == '+' ||
                       n == '-';
            };
            while (i + 1 < json.size() && inNumber(json[i + 1]))
                ++i;
            plain.append('0');
        } else {
            inString = c == '"';
            plain.append(c);
        }
    }
    return plain;
}

} // namespace

struct StatusDecoder::Parser {
    // Walks the whole report without building it: finds the top-level values
    // and each peer's text.
    simdjson::ondemand::parser scanner;
    // Checks and decodes one value at a time, so that its buffers are the size
    // of the largest peer, not of the report.
    simdjson::dom::parser pieces;
};

namespace {

// What decoding one text came to. `plainFormNeeded`: JSON the parser refuses
// (integers beyond 64 bits, escaped lone surrogates) is somewhere in it.
struct Decoded {
    std::optional<StatusReport> report;
    bool plainFormNeeded = false;
};

bool needsPlainForm(simdjson::error_code error) {
    return error == simdjson::NUMBER_ERROR || error == simdjson::STRING_ERROR;
}

bool isJsonSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The text of `value`, whatever its type, which the scan moves past. Objects
// are asked for first: peers are objects.
simdjson::error_code rawText(simdjson::ondemand::value value, std::string_view& text) {
    simdjson::ondemand::object object;
    auto error = value.get_object().get(object);
    if (error != simdjson::INCORRECT_TYPE)
        return error ? error : object.raw_json().get(text);
    simdjson::ondemand::array array;
    error = value.get_array().get(array);
    if (error != simdjson::INCORRECT_TYPE)
        return error ? error : array.raw_json().get(text);
    text = value.raw_json_token();
    return simdjson::SUCCESS;
}

// Decodes `text` (with SIMDJSON_PADDING readable bytes after it) piece by
// piece: the scan finds the top-level values and the peers, and every one of
// them is then parsed on its own, so that all of it is checked as strictly as
// a whole-document parse would, while memory follows the largest piece.
Decoded decodePieces(simdjson::ondemand::parser& scanner, simdjson::dom::parser& pieces,
                     std::string_view text, const QStringList& operatingSystems) {
    Decoded unreadable{StatusReport{TailscaleState::notRunning, {}}, false};
    Decoded plain{std::nullopt, true};
    const auto fail = [&](simdjson::error_code error) {
        return needsPlainForm(error) ? plain : unreadable;
    };
    // A piece parsed on its own: it lies inside the report, so the report's
    // padding follows it.
    const auto parsePiece = [&](std::string_view piece, element& value) {
        return pieces.parse(piece.data(), piece.size(), false).get(value);
    };

    simdjson::ondemand::document document;
    if (const auto error =
            scanner.iterate(text.data(), text.size(), text.size() + simdjson::SIMDJSON_PADDING)
                .get(document))
        return fail(error);
    // Nothing but space after the top-level object.
    {
        simdjson::ondemand::object top;
        std::string_view whole;
        if (const auto error = document.get_object().get(top))
            return fail(error);
        if (const auto error = top.raw_json().get(whole))
            return fail(error);
        const std::size_t after = std::size_t(whole.data() - text.data()) + whole.size();
        if (!std::all_of(text.begin() + std::ptrdiff_t(after), text.end(), isJsonSpace))
            return unreadable;
        document.rewind();
    }

    simdjson::ondemand::object top;
    if (const auto error = document.get_object().get(top))
        return fail(error);
    // Of keys given twice the last counts: kept as text, read at the end.
    std::optional<std::string_view> backendText;
    bool peerTableIsNoObject = false;
    std::optional<std::vector<std::pair<std::string_view, std::string_view>>> peers;
    for (auto field : top) {
        std::string_view key;
        if (const auto error = field.unescaped_key().get(key))
            return fail(error);
        simdjson::ondemand::value value;
        if (const auto error = field.value().get(value))
            return fail(error);
        const bool isPeerTable = key == "Peer";
        simdjson::ondemand::json_type type;
        if (const auto error = value.type().get(type))
            return fail(error);
        if (isPeerTable && type == simdjson::ondemand::json_type::object) {
            simdjson::ondemand::object table;
            if (const auto error = value.get_object().get(table))
                return fail(error);
            peers.emplace();
            peerTableIsNoObject = false;
            for (auto entry : table) {
                std::string_view nodeKey;
                if (const auto error = entry.unescaped_key().get(nodeKey))
                    return fail(error);
                simdjson::ondemand::value peer;
                std::string_view peerText;
                if (const auto error = entry.value().get(peer))
                    return fail(error);
                if (const auto error = rawText(peer, peerText))
                    return fail(error);
                peers->emplace_back(nodeKey, peerText);
            }
            continue;
        }
        std::string_view valueText;
        if (const auto error = rawText(value, valueText))
            return fail(error);
        element parsed;
        if (const auto error = parsePiece(valueText, parsed))
            return fail(error);
        if (isPeerTable) {
            peers.reset();
            peerTableIsNoObject = !parsed.is_null();
        } else if (key == "BackendState") {
            backendText = valueText;
        }
    }
    if (peerTableIsNoObject)
        return unreadable;
    std::string backend;
    if (backendText) {
        element parsed;
        if (const auto error = parsePiece(*backendText, parsed))
            return fail(error);
        try {
            backend = std::string(optionalString(std::optional<element>(parsed)).value_or(""));
        } catch (const Unreadable&) {
            return unreadable;
        }
    }

    TailscaleState state = TailscaleState::ok;
    if (backend == "NeedsLogin" || backend == "NeedsMachineAuth" || backend == "NoState")
        state = TailscaleState::needsLogin;
    // Another user of this computer holds Tailscale: nothing of it is ours.
    if (backend == "Stopped" || backend == "InUseOtherUser")
        state = TailscaleState::notRunning;

    // Peers in the order of their keys, the last of a key given twice.
    // Tailscale writes them in that order already.
    std::vector<std::pair<std::string_view, std::string_view>> table =
        peers ? std::move(*peers) : std::vector<std::pair<std::string_view, std::string_view>>{};
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(table.begin(), table.end(), byKey))
        std::stable_sort(table.begin(), table.end(), byKey);

    QList<RemoteMac> macs;
    macs.reserve(256);
    qsizetype leftOut = 0;
    try {
        for (std::size_t i = 0; i < table.size(); ++i) {
            element value;
            if (const auto error = parsePiece(table[i].second, value))
                return fail(error);
            // Every peer is decoded, so that a wrong type anywhere is found,
            // but records are made only when the report lists machines.
            const Peer peer = Peer::decode(value);
            const bool superseded = i + 1 < table.size() && table[i + 1].first == table[i].first;
            if (superseded || state != TailscaleState::ok)
                continue;
            if (macs.size() == maxListedMachines) {
                leftOut += peer.toMac(operatingSystems) ? 1 : 0;
                continue;
            }
            if (std::optional<RemoteMac> mac = peer.toMac(operatingSystems))
                macs.append(std::move(*mac));
        }
    } catch (const Unreadable&) {
        return unreadable;
    }
    if (state != TailscaleState::ok)
        return Decoded{StatusReport{state, {}}, false};
    return Decoded{StatusReport{TailscaleState::ok, sortedByName(std::move(macs)), leftOut}, false};
}

} // namespace

StatusDecoder::StatusDecoder()
    : parser_(std::make_unique<Parser>()) {
}

StatusDecoder::~StatusDecoder() = default;

StatusReport parseStatusReport(const QByteArray& output, const QStringList& operatingSystems) {
    StatusDecoder decoder;
    return decoder.decode(output, operatingSystems);
}

StatusReport StatusDecoder::decode(const QByteArray& output, const QStringList& operatingSystems) {
    const StatusReport unreadable{TailscaleState::notRunning, {}};
    if (output.isEmpty())
        return unreadable;

    const std::lock_guard guard(lock_);
    // Buffers sized for a report many times this one are given back first.
    constexpr std::size_t keptCapacity = 1024 * 1024;
    if (parser_->scanner.capacity() > keptCapacity &&
        parser_->scanner.capacity() > 4 * std::size_t(output.size()))
        parser_->scanner = simdjson::ondemand::parser();
    if (parser_->pieces.capacity() > keptCapacity)
        parser_->pieces = simdjson::dom::parser();

    // The parser reads a little past the end; the runner's buffer usually has
    // that room already, saving a copy of the whole report.
    const bool padded = output.capacity() - output.size() >= qsizetype(simdjson::SIMDJSON_PADDING);
    const simdjson::padded_string copy =
        padded ? simdjson::padded_string()
               : simdjson::padded_string(output.constData(), std::size_t(output.size()));
    const std::string_view text =
        padded ? std::string_view(output.constData(), std::size_t(output.size()))
               : std::string_view(copy);
    Decoded decoded = decodePieces(parser_->scanner, parser_->pieces, text, operatingSystems);
    if (decoded.plainFormNeeded) {
        // JSON allows what the parser refuses here: integers beyond 64 bits and
        // escaped lone surrogates, both possible in the capability values the
        // control server passes through. Such a report is read in its plain form.
        const QByteArray plainForm = withPlainNumbersAndSurrogates(output);
        if (plainForm.isEmpty())
            return unreadable;
        const simdjson::padded_string plainCopy(plainForm.constData(),
                                                std::size_t(plainForm.size()));
        decoded = decodePieces(parser_->scanner, parser_->pieces, std::string_view(plainCopy),
                               operatingSystems);
    }
    return decoded.report.value_or(unreadable);
}

qsizetype shortenLongJsonStrings(QByteArray& json, qsizetype maxBytes) {
    // One pass over the bytes, copying down in place: inside a string, bytes
    // past `maxBytes` are dropped, never in the middle of an escape or of a
    // UTF-8 sequence, so the text stays valid JSON.
    char* data = json.data();
    const qsizetype size = json.size();
    qsizetype out = 0;
    bool inString = false;
    qsizetype kept = 0; // bytes of the current string written so far
    bool dropping = false;
    for (qsizetype in = 0; in < size; ++in) {
        const char c = data[in];
        if (!inString) {
            data[out++] = c; // (a byte onto itself until something was dropped)
            if (c == '"') {
                inString = true;
                kept = 0;
                dropping = false;
            }
            continue;
        }
        if (c == '"') {
            inString = false;
            data[out++] = c;
            continue;
        }
        // An escape sequence: "\X" or "\uXXXX", kept or dropped whole.
        qsizetype length = 1;
        if (c == '\\')
            length = in + 1 < size && data[in + 1] == 'u' ? 6 : 2;
        else if ((static_cast<unsigned char>(c) & 0xC0) == 0xC0)
            length = (static_cast<unsigned char>(c) & 0xE0) == 0xC0   ? 2
                     : (static_cast<unsigned char>(c) & 0xF0) == 0xE0 ? 3
                                                                      : 4;
        length = std::min(length, size - in);
        if (!dropping && kept + length > maxBytes)
            dropping = true;
        if (!dropping) {
            if (out != in)
                std::memmove(data + out, data + in, std::size_t(length));
            out += length;
            kept += length;
        }
        in += length - 1;
    }
    const qsizetype dropped = size - out;
    json.truncate(out);
    return dropped;
}

} // namespace nimbrook
