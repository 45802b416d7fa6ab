#include "platform/qt/SettingsUserDefaults.h"

namespace nimbrook {

namespace {

// On Unix the native format is an INI file named *.conf.
QSettings::Format iniFormat() {
    return QSettings::NativeFormat;
}

} // namespace

SettingsUserDefaults::SettingsUserDefaults()
    : iniPath_(QSettings(iniFormat(), QSettings::UserScope, QStringLiteral("Nimbrook"),
                         QStringLiteral("Nimbrook"))
                   .fileName()) {
}

SettingsUserDefaults::SettingsUserDefaults(const QString& iniPath)
    : iniPath_(iniPath) {
}

QString SettingsUserDefaults::fileName() const {
    return iniPath_;
}

std::optional<QString> SettingsUserDefaults::stringForKey(const QString& key) const {
    // A fresh QSettings each time: another process (or the user's editor) may
    // have changed the file since the last lookup.
    const QSettings settings(iniPath_, iniFormat());
    const QVariant value = settings.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> SettingsUserDefaults::stringListForKey(const QString& key) const {
    const QSettings settings(iniPath_, iniFormat());
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString().isEmpty() ? QStringList() : QStringList{value.toString()};
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    return std::nullopt;
}

bool SettingsUserDefaults::setStringList(const QString& key, const QStringList& list) {
    // A fresh QSettings reads the file as it is now, so what the user changed
    // by hand meanwhile is written back with our one change.
    QSettings settings(iniPath_, iniFormat());
    settings.setValue(key, list);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace nimbrook
