#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QIcon;
class QMenu;

namespace nimbrook {

// One icon in the desktop's tray, with a menu. Main thread.
class StatusIcon : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows the icon from now on, with `menu` (the caller's, kept alive by it)
    // for hosts that open a menu.
    virtual void show(const QIcon& icon, const QString& title, QMenu* menu) = 0;
    // Where the icon is on screen when the host says; empty otherwise.
    virtual QRect geometry() const = 0;

signals:
    // The icon's main action (a click). `at`: the place the host gave for it,
    // a null point when it gave none.
    void activated(const QPoint& at);
    // Just before activated(), from hosts that hand over the Wayland
    // activation token of the click, with which our window may take the focus.
    void activationTokenGiven(const QString& token);
};

} // namespace nimbrook
