#pragma once

#include "ui/PlainTextLabel.h"

namespace nimbrook {

// Plain text that wraps to its width, between words where it can and
// anywhere when a word alone is too long: a name from the network is never
// cut short and never widens the panel. Nothing in it is taken as markup.
class WrappingLabel final : public PlainTextLabel {
    Q_OBJECT

public:
    explicit WrappingLabel(QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace nimbrook
