#include "app/AppcastModule.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

namespace nimbrook {

namespace {

using MakeUpdater = UpdateController* (*)(const QUrl&, const QString&, bool, UpdateNotifier&);

const char* const moduleName = "nimbrook-appcast";

} // namespace

std::unique_ptr<UpdateController> loadAppcastUpdater(const QUrl& feed,
                                                     const QString& currentVersion, bool start,
                                                     UpdateNotifier& notifier) {
    const QString binDir = QCoreApplication::applicationDirPath();
    return loadAppcastUpdater({binDir, binDir + QStringLiteral("/" NIMBROOK_MODULE_DIR)}, feed,
                              currentVersion, start, notifier);
}

std::unique_ptr<UpdateController> loadAppcastUpdater(const QStringList& directories,
                                                     const QUrl& feed,
                                                     const QString& currentVersion, bool start,
                                                     UpdateNotifier& notifier) {
    QString error;
    for (const QString& dir : directories) {
        QLibrary module(dir + u'/' + QLatin1StringView(moduleName));
        // What it makes lives as long as the program: never unloaded.
        module.setLoadHints(QLibrary::PreventUnloadHint);
        if (!module.load()) {
            error = module.errorString();
            continue;
        }
        if (const auto make =
                reinterpret_cast<MakeUpdater>(module.resolve("nimbrookMakeAppcastUpdater")))
            return std::unique_ptr<UpdateController>(make(feed, currentVersion, start, notifier));
        error = module.errorString();
    }
    qWarning("nimbrook: update checks are unavailable: %s", qPrintable(error));
    return nullptr;
}

} // namespace nimbrook
