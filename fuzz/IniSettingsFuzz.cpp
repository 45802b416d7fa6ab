// The settings file's reader and writer against QSettings, which writes and
// reads the same file: a value QSettings reads one way, we read the same way;
// a list we write, QSettings reads back as written; and changing one key of
// any file leaves the others' values as they were.
#include "platform/linux/IniDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace nimbrook;

namespace {

const QTemporaryDir& scratch() {
    static const QTemporaryDir dir;
    return dir;
}

QVariant readWithQSettings(const QByteArray& file, const QString& key) {
    // A file name of its own each time: QSettings keeps files it has read,
    // and may take one rewritten within the same second for unchanged.
    static int serial = 0;
    const QString path = scratch().filePath(QStringLiteral("f%1.conf").arg(++serial));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
        std::abort();
    out.close();
    QVariant value = QSettings(path, QSettings::IniFormat).value(key);
    QFile::remove(path);
    return value;
}

// Says which property failed, then stops the fuzzer.
#define CHECK(holds)                                                                               \
    do {                                                                                           \
        if (!(holds)) {                                                                            \
            std::fprintf(stderr, "failed: %s\n", #holds);                                          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    // One line's value, as both read it (in valid UTF-8: Qt's decoder takes
    // the byte after a broken sequence with it, which is no rule to follow).
    if (!input.contains('\n') && !input.contains('\r') && !input.contains(';') &&
        !input.contains('\0') && QString::fromUtf8(input).toUtf8() == input) {
        const QByteArray file = "[General]\nk=" + input + "\n";
        const QVariant theirs = readWithQSettings(file, QStringLiteral("k"));
        const IniValue ours = decodeIniValue(IniDocument(file).rawValue("k").value_or(""));
        switch (ours.kind) {
        case IniValue::Kind::text:
            CHECK(theirs.typeId() == QMetaType::QString && theirs.toString() == ours.text);
            break;
        case IniValue::Kind::list:
            CHECK(theirs.typeId() == QMetaType::QStringList && theirs.toStringList() == ours.list);
            break;
        case IniValue::Kind::other:
            CHECK(theirs.typeId() != QMetaType::QString &&
                  theirs.typeId() != QMetaType::QStringList);
            break;
        case IniValue::Kind::tooLong:
            std::abort(); // no limit was asked for
        }
    }

    // A list of the input's lines written into the input as a file.
    QStringList list;
    for (const QByteArray& line : input.split('\n'))
        list.append(QString::fromUtf8(line));
    list.removeAll(QString());
    const IniDocument document(input);
    const std::optional<QByteArray> otherBefore = document.rawValue("TailscaleCLIPath");
    const IniDocument changed = document.withValue(
        "PinnedMachines", list.isEmpty() ? std::nullopt : std::optional(encodeIniStringList(list)));
    const std::optional<QByteArray> written = changed.rawValue("PinnedMachines");
    CHECK(written.has_value() == !list.isEmpty());
    if (written) {
        const IniValue read = decodeIniValue(*written);
        CHECK(read.kind == (list.size() == 1 ? IniValue::Kind::text : IniValue::Kind::list));
        CHECK(list.size() == 1 ? read.text == list.first() : read.list == list);
    }
    CHECK(changed.rawValue("TailscaleCLIPath") == otherBefore);
    // QSettings reads back the list we wrote, from a file of that list alone.
    if (!list.isEmpty() && list.size() < 64) {
        const QVariant theirs = readWithQSettings(
            "[General]\nk=" + encodeIniStringList(list) + "\n", QStringLiteral("k"));
        CHECK(list.size() == 1 ? theirs.toString() == list.first() : theirs.toStringList() == list);
    }
    return 0;
}
