#include "app/UpdateNotifier.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace nimbrook {

// A non-modal dialog that goes away when closed; shown once it is filled in.
// One at a time: a newer answer takes the place of the one shown.
QMessageBox* DialogUpdateNotifier::informationBox(const QString& title, const QString& text) {
    if (box_)
        box_->close();
    box_ = new QMessageBox(QMessageBox::Information, title, text);
    box_->setAttribute(Qt::WA_DeleteOnClose);
    return box_;
}

DialogUpdateNotifier::~DialogUpdateNotifier() {
    delete box_;
}

void DialogUpdateNotifier::offerUpdate(const AppcastItem& item, const QString& currentVersion) {
    QMessageBox* box = informationBox(
        QObject::tr("A New Version of Nimbrook Is Available"),
        QObject::tr("Nimbrook %1 is available; you have %2.").arg(item.version, currentVersion));
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
    informationBox(QObject::tr("You’re Up to Date"),
                   QObject::tr("Nimbrook %1 is the newest version.").arg(currentVersion))
        ->open();
}

void DialogUpdateNotifier::checkFailed(const QString& reason) {
    informationBox(QObject::tr("Update Check Failed"),
                   QObject::tr("Nimbrook could not check for updates. %1").arg(reason))
        ->open();
}

} // namespace nimbrook
