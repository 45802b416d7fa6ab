#pragma once

#include "platform/FileSystem.h"
#include "platform/ToolRunner.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QHash>
#include <QSet>

#include <vector>

namespace nimbrook::testing {

// Records every run; the test finishes runs by handing over their output, as
// the worker thread would.
class FakeToolRunner final : public ToolRunner {
public:
    struct Run {
        QString path;
        QStringList arguments;
        std::chrono::milliseconds timeout;
        std::chrono::milliseconds killGrace;
        Completion completion;
        bool finished = false;

        void finish(const QByteArray& output) {
            finished = true;
            completion(output);
        }
    };

    void run(const QString& path, const QStringList& arguments, std::chrono::milliseconds timeout,
             std::chrono::milliseconds killGrace, Completion completion) override {
        runs_.push_back(Run{path, arguments, timeout, killGrace, std::move(completion), false});
    }

    int runCount() const { return int(runs_.size()); }
    Run& runAt(int index) { return runs_.at(std::size_t(index)); }
    Run& latest() { return runs_.back(); }

private:
    std::vector<Run> runs_;
};

class FakeFileSystem final : public FileSystem {
public:
    bool isExecutableFile(const QString& path) const override {
        tested.append(path);
        return executables.contains(path);
    }
    QString homeDirectory() const override { return home; }

    QSet<QString> executables;
    QString home = QStringLiteral("/home/jane");
    mutable QStringList tested;
};

class FakeUserDefaults final : public UserDefaults {
public:
    std::optional<QString> stringForKey(const QString& key) const override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    std::optional<QStringList> stringListForKey(const QString& key) const override {
        return lists.contains(key) ? std::optional(lists.value(key)) : std::nullopt;
    }
    bool setStringList(const QString& key, const QStringList& list) override {
        lists.insert(key, list);
        return writable;
    }

    QHash<QString, QString> values;
    QHash<QString, QStringList> lists;
    bool writable = true;
};

class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override {
        opened.append(url);
        return accepts;
    }

    QList<QUrl> opened;
    bool accepts = true;
};

} // namespace nimbrook::testing
