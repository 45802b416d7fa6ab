#pragma once

#include <QObject>
#include <QString>

namespace nimbrook {

// Desktop notifications. Main thread.
class Notifications : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows a notification whose default action (a click on it) is named
    // `actionLabel` (none when it is empty); `tag` comes back with
    // actionInvoked(). Returns at once;
    // without a notification service nothing is shown and nothing fails.
    virtual void show(const QString& summary, const QString& body, const QString& actionLabel,
                      const QString& tag) = 0;

signals:
    // The user took the default action of the notification shown with `tag`.
    void actionInvoked(const QString& tag);
};

} // namespace nimbrook
