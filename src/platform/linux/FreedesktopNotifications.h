#pragma once

#include "platform/Notifications.h"

#include <QHash>

namespace nimbrook {

// org.freedesktop.Notifications on the session bus, called without waiting
// for the answer. A notification's action counts once, and only from the
// server that showed it.
class FreedesktopNotifications final : public Notifications {
    Q_OBJECT

public:
    explicit FreedesktopNotifications(QObject* parent = nullptr);

    void show(const QString& summary, const QString& body, const QString& actionLabel,
              const QString& tag) override;

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QHash<uint, QString> tags_; // notification id to tag, until it closes or acts
};

} // namespace nimbrook
