#include "platform/linux/IniUserDefaults.h"

#include "platform/linux/IniDocument.h"
#include "platform/linux/UniqueFd.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbrook {

Q_LOGGING_CATEGORY(lcDefaults, "nimbrook.settings", QtWarningMsg)

namespace {

// What tells one version of the file from another.
struct FileSignature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileSignature of(const struct stat& info) {
        return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    bool operator==(const FileSignature& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

QByteArray keyBytes(const QString& key) {
    return key.toUtf8();
}

// Reads at most `limit` bytes of `fd`; none on a read error.
std::optional<QByteArray> readAtMost(int fd, qsizetype limit) {
    QByteArray bytes;
    bytes.resize(std::min<qsizetype>(limit, 64 * 1024));
    qsizetype filled = 0;
    while (filled < limit) {
        if (filled == bytes.size())
            bytes.resize(std::min<qsizetype>(limit, bytes.size() * 2));
        const ssize_t count = ::read(fd, bytes.data() + filled, std::size_t(bytes.size() - filled));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        filled += count;
    }
    bytes.truncate(filled);
    return bytes;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

struct IniUserDefaults::Snapshot {
    std::optional<FileSignature> signature; // none: no file (or not one we read)
    std::optional<IniDocument> document;
    bool oversized = false;
    mutable QHash<QString, std::optional<IniValue>> values; // decoded on first use
};

IniUserDefaults::IniUserDefaults()
    : IniUserDefaults(defaultPath()) {
}

IniUserDefaults::IniUserDefaults(QString path, std::chrono::milliseconds lockTimeout)
    : path_(std::move(path))
    , lockTimeout_(lockTimeout)
    , snapshot_(std::make_unique<Snapshot>()) {
}

IniUserDefaults::~IniUserDefaults() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

QString IniUserDefaults::defaultPath() {
    // Where QSettings keeps an application's user settings on Unix.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Nimbrook/Nimbrook.conf");
}

const IniUserDefaults::Snapshot& IniUserDefaults::current() const {
    const QByteArray path = QFile::encodeName(path_);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        if (snapshot_->signature || snapshot_->document)
            snapshot_ = std::make_unique<Snapshot>();
        return *snapshot_;
    }
    if (snapshot_->signature == FileSignature::of(info))
        return *snapshot_;

    auto fresh = std::make_unique<Snapshot>();
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        qCWarning(lcDefaults, "cannot read %s: %s", path.constData(), std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        qCWarning(lcDefaults, "%s is not a regular file: its settings are ignored",
                  path.constData());
    } else {
        fresh->oversized = info.st_size > maxFileSize;
        if (fresh->oversized)
            qCWarning(lcDefaults,
                      "%s is larger than %lld bytes: its lists are ignored, its texts read from "
                      "its beginning, and nothing is written to it",
                      path.constData(), static_cast<long long>(maxFileSize));
        if (std::optional<QByteArray> text = readAtMost(fd.get(), maxFileSize)) {
            if (fresh->oversized) // the last line may be cut: leave it out
                text->truncate(text->lastIndexOf('\n') + 1);
            fresh->document.emplace(std::move(*text));
        } else {
            qCWarning(lcDefaults, "cannot read %s: %s", path.constData(), std::strerror(errno));
        }
    }
    fresh->signature = FileSignature::of(info);
    snapshot_ = std::move(fresh);
    return *snapshot_;
}

const IniValue* IniUserDefaults::value(const QString& key) const {
    const Snapshot& snapshot = current();
    if (!snapshot.document)
        return nullptr;
    auto found = snapshot.values.find(key);
    if (found == snapshot.values.end()) {
        std::optional<IniValue> decoded;
        if (const std::optional<QByteArray> raw = snapshot.document->rawValue(keyBytes(key))) {
            decoded = decodeIniValue(*raw, maxListSize);
            if (decoded->kind == IniValue::Kind::tooLong)
                qCWarning(lcDefaults, "%s lists more than %lld entries in %s: ignored",
                          qUtf8Printable(key), static_cast<long long>(maxListSize),
                          qUtf8Printable(path_));
        }
        found = snapshot.values.insert(key, std::move(decoded));
    }
    return found->has_value() ? &**found : nullptr;
}

std::optional<QString> IniUserDefaults::stringForKey(const QString& key) const {
    const IniValue* stored = value(key);
    if (!stored || stored->kind != IniValue::Kind::text)
        return std::nullopt;
    return stored->text;
}

std::optional<QStringList> IniUserDefaults::stringListForKey(const QString& key) const {
    const IniValue* stored = value(key);
    if (!stored || current().oversized)
        return std::nullopt;
    switch (stored->kind) {
    case IniValue::Kind::text:
        return stored->text.isEmpty() ? QStringList() : QStringList{stored->text};
    case IniValue::Kind::list:
        return stored->list;
    case IniValue::Kind::other:
    case IniValue::Kind::tooLong:
        break;
    }
    return std::nullopt;
}

void IniUserDefaults::changeStringList(const QString& key, ListChange change,
                                       SaveCompletion completion) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(Job{key, std::move(change), std::move(completion)});
        if (!writer_.joinable())
            writer_ = std::thread([this] { writerLoop(); });
    }
    wake_.notify_one();
}

namespace {

// One attempt at saving a batch of changes, and why it failed.
class Saving {
public:
    Saving(QString path, std::chrono::milliseconds lockTimeout)
        : path_(std::move(path))
        , name_(QFileInfo(path_).fileName())
        , lockTimeout_(lockTimeout) {}

    // Applies each change to the file as it is, in order, and writes the
    // result once. Returns each change's failure, in order.
    template <typename Job>
    std::vector<UserDefaults::SaveFailure> save(const std::deque<Job>& jobs);

private:
    QString readOnly() const { return QStringLiteral("%1 is read-only").arg(name_); }
    QString failure(int error) const;
    // Where to write: the file, or what its symbolic link points to.
    std::optional<QString> target(QString& failureText) const;

    QString path_;
    QString name_;
    std::chrono::milliseconds lockTimeout_;
};

QString Saving::failure(int error) const {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return readOnly();
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    default:
        return QStringLiteral("%1 could not be written (%2)")
            .arg(name_, QString::fromLocal8Bit(std::strerror(error)));
    }
}

std::optional<QString> Saving::target(QString& failureText) const {
    const QByteArray path = QFile::encodeName(path_);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? std::optional(path_)
                               : (failureText = failure(errno), std::nullopt);
    if (!S_ISLNK(info.st_mode))
        return path_;
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved)) {
        failureText = QStringLiteral("%1 is a link to nothing").arg(name_);
        return std::nullopt;
    }
    return QFile::decodeName(resolved);
}

template <typename Job>
std::vector<UserDefaults::SaveFailure> Saving::save(const std::deque<Job>& jobs) {
    std::vector<UserDefaults::SaveFailure> failures(jobs.size());
    auto failAll = [&](const QString& why) {
        for (auto& entry : failures)
            entry = why;
        return failures;
    };

    QString why;
    const std::optional<QString> file = target(why);
    if (!file)
        return failAll(why);
    const QByteArray filePath = QFile::encodeName(*file);
    const QString folder = QFileInfo(*file).absolutePath();
    if (!QDir().mkpath(folder))
        return failAll(readOnly());
    const QByteArray folderPath = QFile::encodeName(folder);

    // Modes say what the user meant, also to root, who may write anyway.
    struct stat folderInfo {};
    if (::stat(folderPath.constData(), &folderInfo) != 0)
        return failAll(failure(errno));
    if (!(folderInfo.st_mode & S_IWUSR))
        return failAll(readOnly());

    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(int(lockTimeout_.count()))) {
        switch (lock.error()) {
        case QLockFile::LockFailedError:
            return failAll(QStringLiteral("%1 is in use by another program").arg(name_));
        case QLockFile::PermissionError:
            return failAll(readOnly());
        case QLockFile::NoError:
        case QLockFile::UnknownError:
            break;
        }
        return failAll(QStringLiteral("%1 could not be locked").arg(name_));
    }

    constexpr int attempts = 5;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // The file as it is now.
        std::optional<QByteArray> before;
        struct stat info {};
        mode_t mode = 0644;
        {
            const UniqueFd fd(::open(filePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
            if (!fd.valid() && errno != ENOENT)
                return failAll(failure(errno));
            if (fd.valid()) {
                if (::fstat(fd.get(), &info) != 0)
                    return failAll(failure(errno));
                if (!S_ISREG(info.st_mode))
                    return failAll(QStringLiteral("%1 is not a regular file").arg(name_));
                if (!(info.st_mode & S_IWUSR))
                    return failAll(readOnly());
                if (info.st_size > IniUserDefaults::maxFileSize)
                    return failAll(QStringLiteral("%1 is larger than 1 MiB").arg(name_));
                before = readAtMost(fd.get(), IniUserDefaults::maxFileSize + 1);
                if (!before)
                    return failAll(failure(errno));
                if (before->size() > IniUserDefaults::maxFileSize)
                    return failAll(QStringLiteral("%1 is larger than 1 MiB").arg(name_));
                mode = info.st_mode & 07777;
            }
        }

        // Each change to the list as the file holds it.
        IniDocument document(before.value_or(QByteArray()));
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const QByteArray key = keyBytes(jobs[i].key);
            QStringList stored;
            if (const std::optional<QByteArray> raw = document.rawValue(key)) {
                const IniValue value = decodeIniValue(*raw, IniUserDefaults::maxListSize);
                switch (value.kind) {
                case IniValue::Kind::text:
                    if (!value.text.isEmpty())
                        stored.append(value.text);
                    break;
                case IniValue::Kind::list:
                    stored = value.list;
                    break;
                case IniValue::Kind::tooLong:
                    failures[i] = QStringLiteral("%1 in %2 lists more than %3 names")
                                      .arg(jobs[i].key, name_)
                                      .arg(IniUserDefaults::maxListSize);
                    continue;
                case IniValue::Kind::other:
                    failures[i] = QStringLiteral("%1 in %2 is not a list").arg(jobs[i].key, name_);
                    continue;
                }
            }
            failures[i].reset();
            const QStringList changed = jobs[i].change(stored);
            document = document.withValue(key, changed.isEmpty()
                                                   ? std::nullopt
                                                   : std::optional(encodeIniStringList(changed)));
        }
        if (before && document.text() == *before)
            return failures;
        if (!before && document.text().isEmpty())
            return failures;

        // Written beside the file, then renamed over it whole.
        QByteArray temporary =
            folderPath + "/." + QFile::encodeName(QFileInfo(*file).fileName()) + ".XXXXXX";
        const UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
        if (!out.valid())
            return failAll(failure(errno));
        auto discard = [&](int error) {
            ::unlink(temporary.constData());
            return failAll(failure(error));
        };
        if (!writeAll(out.get(), document.text()) || ::fsync(out.get()) != 0)
            return discard(errno);
        if (::fchmod(out.get(), mode) != 0)
            return discard(errno);
        if (before && geteuid() == 0 && (info.st_uid != 0 || info.st_gid != 0) &&
            ::fchown(out.get(), info.st_uid, info.st_gid) != 0)
            return discard(errno);

        // Not over an edit made since we read the file: read it again instead.
        std::optional<QByteArray> now;
        struct stat nowInfo {};
        const UniqueFd check(::open(filePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        const bool exists = check.valid() || errno != ENOENT;
        if (check.valid() && ::fstat(check.get(), &nowInfo) == 0)
            now = readAtMost(check.get(), IniUserDefaults::maxFileSize + 1);
        const bool unchanged = before ? (now == before && nowInfo.st_ino == info.st_ino) : !exists;
        if (!unchanged) {
            ::unlink(temporary.constData());
            continue;
        }
        if (::rename(temporary.constData(), filePath.constData()) != 0)
            return discard(errno);
        if (const UniqueFd dir(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            dir.valid())
            ::fsync(dir.get());
        return failures;
    }
    return failAll(QStringLiteral("%1 kept changing while it was saved").arg(name_));
}

} // namespace

void IniUserDefaults::writerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, with nothing left to save
        std::deque<Job> batch;
        batch.swap(queue_);
        lock.unlock();
        const std::vector<SaveFailure> failures = Saving(path_, lockTimeout_).save(batch);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (failures[i])
                qCWarning(lcDefaults, "not saved: %s", qUtf8Printable(*failures[i]));
            batch[i].completion(failures[i]);
        }
        lock.lock();
    }
}

} // namespace nimbrook
