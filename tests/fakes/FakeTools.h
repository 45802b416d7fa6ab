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

// Settings in memory. Changes are saved when the test says so: at once by
// default, or held until saveHeld() with `holdSaves`; `failure` fails them.
class FakeUserDefaults final : public UserDefaults {
public:
    std::optional<QString> stringForKey(const QString& key) const override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    std::optional<QStringList> stringListForKey(const QString& key) const override {
        return lists.contains(key) ? std::optional(lists.value(key)) : std::nullopt;
    }
    void changeStringList(const QString& key, ListChange change,
                          SaveCompletion completion) override {
        held_.push_back({key, std::move(change), std::move(completion)});
        if (!holdSaves)
            saveHeld();
    }
    // Saves (or fails) the changes held so far, in order.
    void saveHeld() {
        for (auto& [key, change, completion] : std::exchange(held_, {})) {
            if (!failure) {
                const QStringList changed = change(lists.value(key));
                if (changed.isEmpty())
                    lists.remove(key);
                else
                    lists.insert(key, changed);
            }
            completion(failure);
        }
    }

    QHash<QString, QString> values;
    QHash<QString, QStringList> lists;
    bool holdSaves = false;
    SaveFailure failure;

private:
    struct Held {
        QString key;
        ListChange change;
        SaveCompletion completion;
    };
    std::vector<Held> held_;
};

class FakeUrlOpener final : public UrlOpener {
public:
    Result open(const QUrl& url) override {
        opened.append(url);
        return result;
    }

    QList<QUrl> opened;
    Result result; // opened, unless a test says otherwise
};

} // namespace nimbrook::testing
