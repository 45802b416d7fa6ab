#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

class QMessageBox;

namespace nimbrook {

// One release announced by an appcast.
struct AppcastItem {
    QString version;
    QString title;
    QUrl page; // where the user can get it
};

// Tells the user what a check found. The real one shows dialogs.
class UpdateNotifier {
public:
    virtual ~UpdateNotifier() = default;
    virtual void offerUpdate(const AppcastItem& item, const QString& currentVersion) = 0;
    virtual void upToDate(const QString& currentVersion) = 0;
    virtual void checkFailed(const QString& reason) = 0;
};

// The real notifier: non-modal dialogs, one at a time; the offer opens the
// release page.
class DialogUpdateNotifier final : public UpdateNotifier {
public:
    DialogUpdateNotifier() = default;
    ~DialogUpdateNotifier() override;
    void offerUpdate(const AppcastItem& item, const QString& currentVersion) override;
    void upToDate(const QString& currentVersion) override;
    void checkFailed(const QString& reason) override;

private:
    QMessageBox* informationBox(const QString& title, const QString& text);
    QPointer<QMessageBox> box_;
};

} // namespace nimbrook
