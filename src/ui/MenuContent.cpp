#include "ui/MenuContent.h"

#include "discovery/Discovery.h"
#include "model/StatusText.h"
#include "ui/FooterButton.h"
#include "ui/MacRow.h"
#include "ui/MenuShortcuts.h"
#include "ui/Style.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QShortcut>

namespace nimbrook {

namespace {

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color,
                  const QMargins& margins, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setContentsMargins(margins);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

} // namespace

MenuContent::MenuContent(Discovery& discovery, std::function<void()> checkForUpdates,
                         std::function<void()> terminate, QWidget* parent)
    : QWidget(parent)
    , discovery_(discovery)
    , terminate_(std::move(terminate)) {
    setFixedWidth(panelWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 6);
    column->setSpacing(2);

    header_ = makeLabel(QString(), style::font(11, QFont::DemiBold), style::secondary(palette()),
                        QMargins(10, 8, 10, 4), this);
    column->addWidget(header_);
    status_ = makeLabel(QString(), style::font(12), style::tertiary(palette()),
                        QMargins(10, 6, 10, 6), this);
    // "Tailscale not found — local network only" is wider than the column in
    // some fonts: wrap rather than cut it.
    status_->setWordWrap(true);
    column->addWidget(status_);

    rowsLayout_ = new QVBoxLayout;
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(2);
    column->addLayout(rowsLayout_);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(1);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::WindowText, style::tertiary(palette()));
    divider->setPalette(dividerPalette);
    column->addSpacing(4);
    column->addWidget(divider);
    column->addSpacing(4);

    refresh_ = new FooterButton(
        QStringLiteral("Refresh"), QStringLiteral("refresh"), [this] { refresh(); }, this);
    updates_ = new FooterButton(QStringLiteral("Check for Updates\u2026"),
                                QStringLiteral("download"), std::move(checkForUpdates), this);
    quit_ = new FooterButton(
        QStringLiteral("Quit"), QStringLiteral("power"), [this] { quit(); }, this);
    column->addWidget(refresh_);
    column->addWidget(updates_);
    column->addWidget(quit_);

    // Fixed shortcuts for positions 0 … 8; a position without a row does nothing.
    for (int position = 0; position <= 8; ++position) {
        auto* shortcut = new QShortcut(*MenuShortcuts::shortcut(position), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, position] { activateRow(position); });
    }

    connect(&discovery_, &Discovery::changed, this, &MenuContent::redraw);
    connect(&discovery_.preferences(), &MachinePreferences::changed, this, &MenuContent::redraw);
    redraw();
}

QString MenuContent::statusText() const {
    return status_->isVisibleTo(this) ? status_->text() : QString();
}

QList<MacRow*> MenuContent::rows() const {
    return rowsInOrder_;
}

void MenuContent::refresh() {
    discovery_.refresh();
}

void MenuContent::quit() {
    discovery_.stop();
    if (terminate_)
        terminate_();
}

void MenuContent::activateRow(int position) {
    if (position < 0 || position >= rowsInOrder_.size())
        return;
    choose(rowsInOrder_[position]->mac());
}

void MenuContent::choose(const RemoteMac& mac) {
    // The panel goes first: the viewer's window must not open under it.
    emit choosing();
    discovery_.connect(mac);
}

QMenu* MenuContent::rowMenu(const RemoteMac& mac) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    MachinePreferences& preferences = discovery_.preferences();
    const QString identity = mac.rowIdentity();
    QAction* notify = menu->addAction(QStringLiteral("Notify When Online"));
    notify->setCheckable(true);
    notify->setChecked(preferences.notifyWhenOnline().contains(identity));
    connect(notify, &QAction::toggled, this, [&preferences, identity](bool on) {
        preferences.setNotifyWhenOnline(identity, on);
    });
    const bool pinned = preferences.pinned().contains(identity);
    connect(menu->addAction(pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin to Top")),
            &QAction::triggered, this,
            [&preferences, identity, pinned] { preferences.setPinned(identity, !pinned); });
    return menu;
}

void MenuContent::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit shown();
}

void MenuContent::redraw() {
    const QList<RemoteMac>& macs = discovery_.macs();

    // Other systems listed: the list is no longer one of Macs only.
    header_->setText(discovery_.preferences().listsOnlyMacs() ? tr("My Macs")
                                                              : tr("My Computers"));
    status_->setVisible(macs.isEmpty());
    status_->setText(nimbrook::statusText(discovery_.tailscaleState()));

    const bool polling = discovery_.isPolling();
    refresh_->setTitle(polling ? QStringLiteral("Refreshing\u2026") : QStringLiteral("Refresh"));
    refresh_->setActive(!polling);

    // Rows keep their identity (and hover state) by row identity, wherever
    // they move in the list.
    QHash<QString, MacRow*> kept;
    QList<MacRow*> ordered;
    for (int position = 0; position < macs.size(); ++position) {
        const RemoteMac& mac = macs[position];
        const QString key = mac.rowIdentity();
        MacRow* row = rowsByIdentity_.take(key);
        if (row) {
            row->setMac(mac, position);
        } else {
            row = new MacRow(mac, position, this);
            connect(row, &MacRow::activated, this,
                    [this](const RemoteMac& chosen) { choose(chosen); });
            connect(row, &MacRow::menuRequested, this,
                    [this](const RemoteMac& chosen, const QPoint& where) {
                        rowMenu(chosen)->popup(where);
                    });
        }
        kept.insert(key, row);
        ordered.append(row);
    }
    for (MacRow* gone : std::as_const(rowsByIdentity_))
        gone->deleteLater();
    for (MacRow* row : std::as_const(rowsInOrder_))
        rowsLayout_->removeWidget(row);
    for (MacRow* row : std::as_const(ordered)) {
        rowsLayout_->addWidget(row);
        row->show();
    }
    rowsByIdentity_ = std::move(kept);
    rowsInOrder_ = std::move(ordered);

    if (QWidget* top = window(); top && top != this)
        top->adjustSize();
    else
        adjustSize();
}

} // namespace nimbrook
