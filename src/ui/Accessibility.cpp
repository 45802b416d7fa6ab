#include "ui/Accessibility.h"

#include "ui/FooterButton.h"
#include "ui/MacRow.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace nimbrook {

namespace {

class RowAccessible final : public QAccessibleWidget {
public:
    explicit RowAccessible(MacRow* row)
        : QAccessibleWidget(row, QAccessible::Button) {}

    QString text(QAccessible::Text which) const override {
        const auto* row = static_cast<const MacRow*>(widget());
        switch (which) {
        case QAccessible::Name:
            return row->mac().name;
        case QAccessible::Description:
            return sourceAndAddress(row->mac());
        default:
            return QAccessibleWidget::text(which);
        }
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<MacRow*>(widget())->activate();
    }
};

class CommandAccessible final : public QAccessibleWidget {
public:
    explicit CommandAccessible(FooterButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Name)
            return static_cast<const FooterButton*>(widget())->title();
        return QAccessibleWidget::text(which);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.disabled = !static_cast<const FooterButton*>(widget())->isActive();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            static_cast<FooterButton*>(widget())->trigger();
    }
};

QAccessibleInterface* panelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1StringView("nimbrook::MacRow"))
        return new RowAccessible(static_cast<MacRow*>(object));
    if (className == QLatin1StringView("nimbrook::FooterButton"))
        return new CommandAccessible(static_cast<FooterButton*>(object));
    return nullptr;
}

} // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&panelAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace nimbrook
