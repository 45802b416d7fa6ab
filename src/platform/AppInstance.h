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
    // A later start asked this instance to show itself.
    void activationRequested();
};

} // namespace nimbrook
