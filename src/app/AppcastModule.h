#pragma once

#include "app/NimbrookUpdater.h"

#include <QString>
#include <QUrl>

#include <memory>

namespace nimbrook {

class UpdateNotifier;

// The appcast updater lives in a module of its own, which brings Qt Network
// and TLS with it: loaded at the first update check rather than at every
// start. Found beside the executable (a build tree) or in the installed module
// directory. None, with a warning, when the module cannot be loaded.
std::unique_ptr<UpdateController> loadAppcastUpdater(const QUrl& feed,
                                                     const QString& currentVersion, bool start,
                                                     UpdateNotifier& notifier);
// The same from the first of `directories` that has the module.
std::unique_ptr<UpdateController> loadAppcastUpdater(const QStringList& directories,
                                                     const QUrl& feed,
                                                     const QString& currentVersion, bool start,
                                                     UpdateNotifier& notifier);

} // namespace nimbrook
