#include "platform/qt/QtStatusIcon.h"

#include <QSystemTrayIcon>

namespace nimbrook {

QtStatusIcon::QtStatusIcon(QObject* parent)
    : StatusIcon(parent)
    , icon_(std::make_unique<QSystemTrayIcon>()) {
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit activated(QPoint());
            });
}

QtStatusIcon::~QtStatusIcon() = default;

void QtStatusIcon::show(const QIcon& icon, const QString& title, QMenu* menu) {
    icon_->setIcon(icon);
    icon_->setToolTip(title);
    icon_->setContextMenu(menu);
    icon_->show();
}

QRect QtStatusIcon::geometry() const {
    return icon_->geometry();
}

} // namespace nimbrook
