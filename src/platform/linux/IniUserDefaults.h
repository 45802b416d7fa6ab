#pragma once

#include "platform/UserDefaults.h"

#include <QHash>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace nimbrook {

class IniDocument;
struct IniValue;

// User defaults in an INI file as QSettings writes it:
// ~/.config/Nimbrook/Nimbrook.conf (or under $XDG_CONFIG_HOME).
//
// Reading (any one thread): the file is read again only when it changed (its
// device, inode, size and times), so edits by hand apply without a restart.
// A file over maxFileSize is refused: its lists count as absent and its texts
// are read from its first maxFileSize bytes. A list of more than maxListSize
// entries counts as absent. Each refusal is logged once for each version of
// the file.
//
// Writing: on a thread of its own. Under the lock file QSettings uses
// ("Nimbrook.conf.lock", waited for at most a lock timeout), the file is read,
// only the changed keys are rewritten in its text, and the result goes to a
// temporary file renamed over it - unless the file changed since it was read,
// in which case it is read and changed again. A symbolic link is followed and
// kept. A file or folder without its owner's write permission counts as
// read-only, also for root.
class IniUserDefaults final : public UserDefaults {
public:
    static constexpr qsizetype maxFileSize = 1024 * 1024;
    static constexpr qsizetype maxListSize = 1000;
    static constexpr auto defaultLockTimeout = std::chrono::milliseconds(2000);

    // The user's Nimbrook.conf.
    IniUserDefaults();
    explicit IniUserDefaults(QString path,
                             std::chrono::milliseconds lockTimeout = defaultLockTimeout);
    // Saves what is still queued, then stops the writer.
    ~IniUserDefaults() override;

    static QString defaultPath();
    const QString& path() const { return path_; }

    std::optional<QString> stringForKey(const QString& key) const override;
    std::optional<QStringList> stringListForKey(const QString& key) const override;
    void changeStringList(const QString& key, ListChange change,
                          SaveCompletion completion) override;

private:
    struct Job {
        QString key;
        ListChange change;
        SaveCompletion completion;
    };
    struct Snapshot;

    // The file as it is now, read again if it changed.
    const Snapshot& current() const;
    const IniValue* value(const QString& key) const;

    void writerLoop();

    QString path_;
    std::chrono::milliseconds lockTimeout_;
    mutable std::unique_ptr<Snapshot> snapshot_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    bool stopping_ = false;
    std::thread writer_; // started at the first change
};

} // namespace nimbrook
