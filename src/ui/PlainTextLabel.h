#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace nimbrook {

// What the panel's labels share: plain text (nothing taken as markup) in one
// colour, the palette's text colour unless told otherwise. Subclasses lay the
// text out and draw it.
class PlainTextLabel : public QWidget {
    Q_OBJECT

public:
    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setColor(const QColor& color);

    QSize minimumSizeHint() const override;

protected:
    explicit PlainTextLabel(QWidget* parent = nullptr);
    QColor penColor() const;

private:
    QString text_;
    QColor color_;
};

} // namespace nimbrook
