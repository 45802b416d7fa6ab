#pragma once

#include "ui/PlainTextLabel.h"

namespace nimbrook {

// One line of plain text; when it does not fit, its middle gives way to an
// ellipsis.
class ElidedLabel final : public PlainTextLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // What is drawn at the current width.
    QString displayedText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace nimbrook
