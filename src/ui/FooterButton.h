#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QLabel;

namespace nimbrook {

// A footer command: icon and title. A click runs the action while enabled;
// disabled, it is drawn at half opacity and ignores clicks.
class FooterButton final : public QWidget {
    Q_OBJECT

public:
    FooterButton(const QString& title, const QString& symbol, std::function<void()> action,
                 QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;
    // Unlike QWidget::setEnabled, keeps receiving the pointer (for the hover
    // rule) and only decides whether clicks act.
    void setActive(bool active);
    bool isActive() const { return active_; }
    bool isHovering() const { return hovering_; }
    qreal opacity() const;
    // The icon as drawn now, for tests.
    QImage iconImage() const;
    // What a click does: runs the action while active.
    void trigger();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void tintIcon();

    std::function<void()> action_;
    bool active_ = true;
    bool hovering_ = false;
    bool focusShown_ = false; // the keyboard put the focus here
    QLabel* icon_;
    QLabel* title_;
    QString symbol_;
};

} // namespace nimbrook
