#pragma once

#include "platform/StatusIcon.h"

#include <memory>

class QSystemTrayIcon;

namespace nimbrook {

// Qt's own tray icon, for the XEmbed system trays of X11 (trayer, stalonetray
// and older panels), which give a geometry but no click position.
class QtStatusIcon final : public StatusIcon {
    Q_OBJECT

public:
    explicit QtStatusIcon(QObject* parent = nullptr);
    ~QtStatusIcon() override;

    void show(const QIcon& icon, const QString& title, QMenu* menu) override;
    QRect geometry() const override;

private:
    std::unique_ptr<QSystemTrayIcon> icon_;
};

} // namespace nimbrook
