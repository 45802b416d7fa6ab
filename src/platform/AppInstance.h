#pragma once

#include <QObject>

namespace nimbrook {

// The one tray program of a desktop session. Main thread.
class AppInstance : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Makes this the session's instance. False when another one already is;
    // that one has then been asked to show itself.
    virtual bool claim() = 0;

signals:
    // A later start asked this instance to show itself. `activationToken`:
    // the token its launcher gave it for taking the focus (XDG activation on
    // Wayland, startup notification on X11), empty when it had none.
    void activationRequested(const QString& activationToken);
};

} // namespace nimbrook
