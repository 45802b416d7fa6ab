#include "app/UpdateNotifier.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace nimbrook {

void DialogUpdateNotifier::offerUpdate(const AppcastItem& item, const QString& currentVersion) {
    auto* box = new QMessageBox(
        QMessageBox::Information, QObject::tr("A New Version of Nimbrook Is Available"),
        QObject::tr("Nimbrook %1 is available; you have %2.").arg(item.version, currentVersion));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (item.page.isValid()) {
        QPushButton* open =
            box->addButton(QObject::tr("Open Download Page"), QMessageBox::AcceptRole);
        box->addButton(QMessageBox::Close);
        QObject::connect(open, &QPushButton::clicked,
                         [page = item.page] { QDesktopServices::openUrl(page); });
    }
    box->open();
}

void DialogUpdateNotifier::upToDate(const QString& currentVersion) {
    auto* box =
        new QMessageBox(QMessageBox::Information, QObject::tr("You’re Up to Date"),
                        QObject::tr("Nimbrook %1 is the newest version.").arg(currentVersion));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void DialogUpdateNotifier::checkFailed(const QString& reason) {
    auto* box =
        new QMessageBox(QMessageBox::Information, QObject::tr("Update Check Failed"),
                        QObject::tr("Nimbrook could not check for updates. %1").arg(reason));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace nimbrook
