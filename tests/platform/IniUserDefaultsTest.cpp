#include "platform/linux/IniUserDefaults.h"
#include "platform/linux/IniDocument.h"

#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbrook {
namespace {

using namespace std::chrono_literals;

const QString pinned = QStringLiteral("PinnedMachines");

[[nodiscard]] ::testing::AssertionResult writeFile(const QString& path,
                                                   const QByteArray& contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
    return ::testing::AssertionSuccess();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Saves one change and waits for its outcome.
UserDefaults::SaveFailure save(IniUserDefaults& defaults, const QString& key,
                               UserDefaults::ListChange change) {
    auto outcome = std::make_shared<std::promise<UserDefaults::SaveFailure>>();
    std::future<UserDefaults::SaveFailure> done = outcome->get_future();
    defaults.changeStringList(
        key, std::move(change),
        [outcome](const UserDefaults::SaveFailure& failure) { outcome->set_value(failure); });
    if (done.wait_for(10s) != std::future_status::ready)
        return QStringLiteral("no outcome within 10 s");
    return done.get();
}

UserDefaults::ListChange add(const QString& entry) {
    return [entry](QStringList stored) {
        stored.append(entry);
        return stored;
    };
}

class IniUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Nimbrook.conf"));
};

TEST_F(IniUserDefaultsTest, ReadsTextsAndListsAndSeesEditsWithoutARestart) {
    const IniUserDefaults defaults(ini);
    const QString key = QStringLiteral("TailscaleCLIPath");
    EXPECT_EQ(defaults.stringForKey(key), std::nullopt); // no file yet

    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=/opt/tailscale/bin/tailscale\n"));
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/opt/tailscale/bin/tailscale"));
    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=\"/home/Jane Doe/bin/ts, v2\"\n"));
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("/home/Jane Doe/bin/ts, v2"));
    // An unquoted comma makes a list, which is not a path.
    ASSERT_TRUE(writeFile(ini, "TailscaleCLIPath=a, b\n[Other]\nPinnedMachines=x\n"));
    EXPECT_EQ(defaults.stringForKey(key), std::nullopt);
    EXPECT_EQ(defaults.stringListForKey(key),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    // Another section's key is not ours; the last of a repeated key counts.
    EXPECT_EQ(defaults.stringListForKey(pinned), std::nullopt);
    ASSERT_TRUE(writeFile(ini, "PinnedMachines=x\n[general]\nPinnedMachines=y ; old: z\n"));
    EXPECT_EQ(defaults.stringListForKey(pinned), QStringList{QStringLiteral("y")});
}

// The file is shared with QSettings (older versions, the user's own tools):
// what either writes, the other reads the same.
TEST_F(IniUserDefaultsTest, ReadsAndWritesWhatQSettingsDoes) {
    const QStringList lists[] = {
        {QStringLiteral("studio")},
        {QStringLiteral("studio"), QStringLiteral("kims-mac-mini")},
        {QStringLiteral("a, b"), QStringLiteral(" padded "), QStringLiteral("x=y;z"),
         QStringLiteral("quote\"back\\slash"), QStringLiteral("tab\tnew\nline"),
         QStringLiteral("Café 日本 😀"), QStringLiteral("@at"),
         QStringLiteral("\x01"
                        "1f")},
    };
    const IniUserDefaults defaults(ini);
    for (const QStringList& list : lists) {
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue(pinned, list);
            settings.setValue(QStringLiteral("Path"), list.first());
        }
        EXPECT_EQ(defaults.stringListForKey(pinned), list) << readFile(ini).toStdString();
        EXPECT_EQ(defaults.stringForKey(QStringLiteral("Path")), list.first());

        ASSERT_TRUE(
            writeFile(ini, "[General]\nPinnedMachines=" + encodeIniStringList(list) + "\n"));
        const QSettings settings(ini, QSettings::IniFormat);
        const QVariant read = settings.value(pinned);
        EXPECT_EQ(list.size() == 1 ? QStringList{read.toString()} : read.toStringList(), list)
            << readFile(ini).toStdString();
    }
    ASSERT_TRUE(
        writeFile(ini, "[General]\nPinnedMachines=@Invalid()\nPath=@String(x)\nB=@ByteArray(y)\n"));
    EXPECT_EQ(defaults.stringListForKey(pinned), std::nullopt);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("Path")), QStringLiteral("x"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("B")), std::nullopt);
}

TEST_F(IniUserDefaultsTest, AChangeRewritesItsOwnKeyAndKeepsEveryOtherByte) {
    const QByteArray handWritten = "; my settings\r\n"
                                   "[General]\r\n"
                                   "TailscaleCLIPath = /opt/ts   ; the new one\r\n"
                                   "PinnedMachines  =  studio  ; at home\r\n"
                                   "\r\n"
                                   "[Later]\r\n"
                                   "PinnedMachines=not-ours\r\n";
    ASSERT_TRUE(writeFile(ini, handWritten));
    IniUserDefaults defaults(ini);

    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    QByteArray expected = handWritten;
    expected.replace("=  studio  ;", "=  studio, air  ;");
    EXPECT_EQ(readFile(ini), expected);

    // Emptied, the key goes (no "@Invalid()"), and only its line with it.
    EXPECT_EQ(save(defaults, pinned, [](const QStringList&) { return QStringList(); }),
              std::nullopt);
    expected.replace("PinnedMachines  =  studio, air  ; at home\r\n", "");
    EXPECT_EQ(readFile(ini), expected);

    // A key not there goes after the section's last key.
    EXPECT_EQ(save(defaults, QStringLiteral("NotifyWhenOnline"), add(QStringLiteral("mini"))),
              std::nullopt);
    expected.replace("; the new one\r\n", "; the new one\r\nNotifyWhenOnline=mini\r\n");
    EXPECT_EQ(readFile(ini), expected);

    // After a line whose quotes never close, a line added below would be
    // read as part of it: the key goes first instead.
    ASSERT_TRUE(writeFile(ini, "[General]\nTailscaleCLIPath=\"/opt/ts\n"));
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    EXPECT_EQ(defaults.stringListForKey(pinned), QStringList{QStringLiteral("air")});

    // Without a General section, one is made first.
    ASSERT_TRUE(writeFile(ini, "[Other]\nkey=1"));
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    EXPECT_EQ(readFile(ini), "[General]\nPinnedMachines=air\n\n[Other]\nkey=1");
}

// What another program writes between our reading the file and our renaming
// over it is not lost: we read it again and apply our change to that.
TEST_F(IniUserDefaultsTest, AWriterBetweenReadAndRenameIsNotOverwritten) {
    ASSERT_TRUE(writeFile(ini, "[General]\nPinnedMachines=studio\n"));
    IniUserDefaults defaults(ini);
    int calls = 0;
    const auto failure = save(defaults, pinned, [&](QStringList stored) {
        if (++calls == 1) {
            EXPECT_TRUE(
                writeFile(ini, "# the user's edit\n[General]\nPinnedMachines=studio, mini\n"));
        }
        stored.append(QStringLiteral("air"));
        return stored;
    });
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(readFile(ini), "# the user's edit\n[General]\nPinnedMachines=studio, mini, air\n");
}

TEST_F(IniUserDefaultsTest, AChoiceThatCannotBeSavedFailsAndLeavesTheFileAsItWas) {
    const QByteArray original = "[General]\nPinnedMachines=studio\n";
    ASSERT_TRUE(writeFile(ini, original));
    IniUserDefaults defaults(ini, 50ms);
    const QString readOnly = QStringLiteral("Nimbrook.conf is read-only");

    // Read-only file, and folder: also for root, who could write anyway.
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0444), 0);
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), readOnly);
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), readOnly);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    EXPECT_EQ(readFile(ini), original);

    // A lock another program holds, past the timeout.
    {
        QLockFile other(ini + QStringLiteral(".lock"));
        ASSERT_TRUE(other.tryLock(0));
        EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))),
                  QStringLiteral("Nimbrook.conf is in use by another program"));
    }
    EXPECT_EQ(readFile(ini), original);

    // Not a regular file.
    const QString fifo = dir.filePath(QStringLiteral("fifo.conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    IniUserDefaults onFifo(fifo);
    EXPECT_EQ(onFifo.stringListForKey(pinned), std::nullopt);
    EXPECT_EQ(save(onFifo, pinned, add(QStringLiteral("air"))),
              QStringLiteral("fifo.conf is not a regular file"));

    // Saved once the obstacles are gone.
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    EXPECT_EQ(readFile(ini), "[General]\nPinnedMachines=studio, air\n");
}

TEST_F(IniUserDefaultsTest, OverlongFilesAndListsAreRefusedAndNeverWrittenBack) {
    QByteArray names = "a0";
    for (int i = 1; i <= IniUserDefaults::maxListSize; ++i)
        names += ", a" + QByteArray::number(i);
    const QByteArray longList =
        "[General]\nTailscaleOperatingSystems=" + names + "\nPinnedMachines=studio\n";
    ASSERT_TRUE(writeFile(ini, longList));
    IniUserDefaults defaults(ini);
    EXPECT_EQ(defaults.stringListForKey(QStringLiteral("TailscaleOperatingSystems")), std::nullopt);
    EXPECT_EQ(defaults.stringListForKey(pinned), QStringList{QStringLiteral("studio")});
    EXPECT_NE(save(defaults, QStringLiteral("TailscaleOperatingSystems"), add(QStringLiteral("x"))),
              std::nullopt);
    EXPECT_EQ(readFile(ini), longList);

    // Over 1 MiB: the texts at its start still count, the lists do not.
    QByteArray huge = "[General]\nTailscaleCLIPath=/opt/ts\nPinnedMachines=studio\n";
    huge += QByteArray(IniUserDefaults::maxFileSize, ';') + "\n";
    ASSERT_TRUE(writeFile(ini, huge));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("TailscaleCLIPath")), QStringLiteral("/opt/ts"));
    EXPECT_EQ(defaults.stringListForKey(pinned), std::nullopt);
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))),
              QStringLiteral("Nimbrook.conf is larger than 1 MiB"));
    EXPECT_EQ(readFile(ini), huge);
}

TEST_F(IniUserDefaultsTest, ALinkedFileIsWrittenWhereTheLinkPoints) {
    const QString real = dir.filePath(QStringLiteral("dotfiles.conf"));
    ASSERT_TRUE(writeFile(real, "[General]\nPinnedMachines=studio\n"));
    ASSERT_TRUE(QFile::link(real, ini));
    IniUserDefaults defaults(ini);
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    EXPECT_TRUE(QFileInfo(ini).isSymLink());
    EXPECT_EQ(readFile(real), "[General]\nPinnedMachines=studio, air\n");
}

TEST_F(IniUserDefaultsTest, ANewFileIsMadeWithItsFolder) {
    const QString nested = dir.filePath(QStringLiteral("config/Nimbrook/Nimbrook.conf"));
    IniUserDefaults defaults(nested);
    EXPECT_EQ(save(defaults, pinned, add(QStringLiteral("air"))), std::nullopt);
    EXPECT_EQ(readFile(nested), "[General]\nPinnedMachines=air\n");
    EXPECT_EQ(defaults.stringListForKey(pinned), QStringList{QStringLiteral("air")});
}

TEST(IniUserDefaultsPathTest, TheDefaultFileIsTheUsersNimbrookConfig) {
    EXPECT_TRUE(IniUserDefaults::defaultPath().endsWith(QStringLiteral("/Nimbrook/Nimbrook.conf")))
        << IniUserDefaults::defaultPath().toStdString();
}

} // namespace
} // namespace nimbrook
