#pragma once

#include <QString>
#include <QWidget>

namespace nimbrook {

// Plain text that wraps to its width, between words where it can and
// anywhere when a word alone is too long: a name from the network is never
// cut short and never widens the panel. Nothing in it is taken as markup.
class WrappingLabel final : public QWidget {
    Q_OBJECT

public:
    explicit WrappingLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setColor(const QColor& color);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor color_;
};

} // namespace nimbrook
