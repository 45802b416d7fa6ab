#pragma once

#include <QObject>

namespace nimbrook {

// Whether the desktop has somewhere to show a tray icon, now and later: a
// panel that starts after us, or restarts, must still get the icon.
class TrayHost : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // A StatusNotifierItem host or an XEmbed system tray is there now.
    virtual bool isPresent() const = 0;

signals:
    // A host appeared, or replaced the one there was: an icon shown before is
    // gone with the old host and must be shown again.
    void appeared();
};

} // namespace nimbrook
