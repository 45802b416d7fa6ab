#include "ui/MenuContent.h"

#include "discovery/Discovery.h"
#include "model/AddressText.h"
#include "model/MachineIdentity.h"
#include "model/StatusText.h"
#include "ui/Accessibility.h"
#include "ui/FooterButton.h"
#include "ui/MacRow.h"
#include "ui/MenuActions.h"
#include "ui/MenuShortcuts.h"
#include "ui/RowList.h"
#include "ui/Style.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace nimbrook {

namespace {

QLabel* makeLabel(const QFont& font, const QMargins& margins, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setContentsMargins(margins);
    return label;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

MenuContent::MenuContent(Discovery& discovery, MenuActions& actions, QWidget* parent)
    : QWidget(parent)
    , discovery_(discovery)
    , actions_(actions) {
    installAccessibility();
    setFixedWidth(panelWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 6);
    column->setSpacing(2);

    header_ = makeLabel(style::font(11, QFont::DemiBold), QMargins(10, 8, 10, 4), this);
    column->addWidget(header_);
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(tr("Filter"));
    filter_->setAccessibleName(tr("Filter"));
    filter_->setFont(style::font(12));
    filter_->setClearButtonEnabled(false);
    filter_->setContentsMargins(8, 0, 8, 2);
    filter_->hide();
    filter_->installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    column->addWidget(filter_);
    status_ = makeLabel(style::font(12), QMargins(10, 6, 10, 6), this);
    // "Tailscale not found — local network only" is wider than the column in
    // some fonts: wrap rather than cut it.
    status_->setWordWrap(true);
    status_->installEventFilter(this);
    column->addWidget(status_);

    list_ = new RowList(this);
    connect(list_, &RowList::activated, this, [this](const RemoteMac& chosen) { choose(chosen); });
    connect(
        list_, &RowList::menuRequested, this,
        [this](const RemoteMac& chosen, const QPoint& where) { rowMenu(chosen)->popup(where); });
    // The focused row's widget changes as the list scrolls: give the focus to
    // whichever widget shows that machine now.
    connect(list_, &RowList::rowsRebound, this, [this] {
        if (focus_ >= 0 && focus_ < shown_.size() && !filter_->hasFocus()) {
            if (MacRow* row = list_->rowFor(focus_); row && !row->hasFocus() && isVisible())
                row->setFocus(focusReason());
        }
    });
    column->addWidget(list_);

    divider_ = new QFrame(this);
    divider_->setFrameShape(QFrame::HLine);
    divider_->setFrameShadow(QFrame::Plain);
    divider_->setFixedHeight(1);
    column->addSpacing(4);
    column->addWidget(divider_);
    column->addSpacing(4);

    refresh_ = new FooterButton(
        actions_.refresh()->text(), QStringLiteral("refresh"), [this] { refresh(); }, this);
    updates_ = new FooterButton(
        actions_.checkForUpdates()->text(), QStringLiteral("download"),
        [this] { actions_.checkForUpdates()->trigger(); }, this);
    quit_ = new FooterButton(
        actions_.quit()->text(), QStringLiteral("power"), [this] { quit(); }, this);
    const auto followRefresh = [this] {
        refresh_->setTitle(actions_.refresh()->text());
        refresh_->setActive(actions_.refresh()->isEnabled());
    };
    connect(actions_.refresh(), &QAction::changed, this, followRefresh);
    followRefresh();
    connect(&actions_, &MenuActions::choosing, this, &MenuContent::choosing);
    column->addWidget(refresh_);
    column->addWidget(updates_);
    column->addWidget(quit_);
    for (QWidget* focusable : {static_cast<QWidget*>(refresh_), static_cast<QWidget*>(updates_),
                               static_cast<QWidget*>(quit_)})
        focusable->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);
    applyColors();

    // Fixed shortcuts for the first positions; a position without a row does nothing.
    for (int position = 0; position < MenuShortcuts::count; ++position) {
        auto* shortcut = new QShortcut(*MenuShortcuts::shortcut(position), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, position] { activateRow(position); });
    }

    connect(&discovery_, &Discovery::macsChanged, this, &MenuContent::redraw);
    connect(&discovery_, &Discovery::tailscaleStateChanged, this, &MenuContent::redraw);
    connect(&discovery_.preferences(), &MachinePreferences::changed, this, &MenuContent::redraw);
    notice_ = new QTimer(this);
    notice_->setSingleShot(true);
    notice_->setInterval(noticeDuration);
    connect(notice_, &QTimer::timeout, this, &MenuContent::redraw);
    // Until it is shown on a screen of its own, the primary screen sets the limit.
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        availableHeight_ = primary->availableGeometry().height();
    redraw();
}

void MenuContent::showNotice(const QString& text) {
    noticeText_ = text;
    notice_->start();
    redraw();
}

QString MenuContent::statusText() const {
    return status_->isVisibleTo(this) ? status_->text() : QString();
}

QList<MacRow*> MenuContent::rows() const {
    return list_->rowsInView();
}

QList<RemoteMac> MenuContent::shownMacs() const {
    return shown_;
}

QString MenuContent::filterText() const {
    return filter_->text();
}

void MenuContent::refresh() {
    actions_.refresh()->trigger();
}

void MenuContent::quit() {
    actions_.quit()->trigger();
}

void MenuContent::activateRow(int position) {
    if (position < 0 || position >= shown_.size())
        return;
    choose(shown_[position]);
}

void MenuContent::choose(const RemoteMac& mac) {
    // The panel goes first: the viewer's window must not open under it.
    if (QAction* action = actions_.machine(mac.rowIdentity())) {
        action->trigger();
        return;
    }
    emit choosing();
    discovery_.connect(mac);
}

QMenu* MenuContent::rowMenu(const RemoteMac& mac) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction(QStringLiteral("Copy Address")), &QAction::triggered, this,
            [address = readableAddress(mac.address)] {
                QGuiApplication::clipboard()->setText(address);
            });
    connect(menu->addAction(QStringLiteral("Copy Name")), &QAction::triggered, this,
            [name = mac.name] { QGuiApplication::clipboard()->setText(name); });
    menu->addSeparator();
    MachinePreferences& preferences = discovery_.preferences();
    const QString identity = mac.rowIdentity();
    QAction* notify = menu->addAction(QStringLiteral("Notify When Online"));
    notify->setCheckable(true);
    notify->setChecked(preferences.notifyWhenOnline().contains(identity));
    connect(notify, &QAction::toggled, this,
            [&preferences, identity](bool on) { preferences.setNotifyWhenOnline(identity, on); });
    const bool pinned = preferences.pinned().contains(identity);
    connect(menu->addAction(pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin to Top")),
            &QAction::triggered, this,
            [&preferences, identity, pinned] { preferences.setPinned(identity, !pinned); });
    return menu;
}

void MenuContent::applyColors() {
    setTextColor(header_, style::secondary(palette()));
    setTextColor(status_, style::tertiary(palette()));
    setTextColor(divider_, style::tertiary(palette()));
}

void MenuContent::changeEvent(QEvent* event) {
    // A desktop turning dark while we run.
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void MenuContent::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const QScreen* where = screen();
        where && where->availableGeometry().height() != availableHeight_) {
        setAvailableHeight(where->availableGeometry().height());
    }
    emit shown();
    // Each opening starts a new search: what was typed last time is not
    // what is looked for now.
    filter_->clear();
    // Where Enter acts, shown once the keyboard is used.
    keyboardUsed_ = false;
    moveFocus(shown_.isEmpty() ? itemCount() : 0);
}

void MenuContent::redraw() {
    const QList<RemoteMac>& macs = discovery_.macs();

    // Other systems listed: the list is no longer one of Macs only.
    const Listing listing = discovery_.preferences().listing();
    header_->setText(headerText(listing));
    const bool noticeShown = notice_->isActive();
    status_->setVisible(macs.isEmpty() || noticeShown);
    status_->setText(noticeShown ? noticeText_
                                 : nimbrook::statusText(discovery_.tailscaleState(), listing));
    fitStatusHeight();

    applyFilter();
}

void MenuContent::applyFilter() {
    const QString typed = filter_->text();
    filter_->setVisible(!typed.isEmpty());
    const QList<RemoteMac>& macs = discovery_.macs();
    if (typed.isEmpty()) {
        shown_ = macs;
    } else {
        // The rules that tell names apart, applied to what was typed: case,
        // accents and punctuation make no difference; addresses as typed.
        const QString needle = MachineIdentity::fromDisplayName(typed);
        shown_.clear();
        for (const RemoteMac& mac : macs) {
            if (MachineIdentity::fromDisplayName(mac.name).contains(needle) ||
                readableAddress(mac.address).contains(typed.trimmed()))
                shown_.append(mac);
        }
    }
    // The limit first: rows are made only for what fits under it.
    if (availableHeight_ > 0)
        capRows();
    list_->setMacs(shown_);
    // The keyboard starts on the first machine shown.
    if (focus_ < 0 || focus_ >= shown_.size() || !typed.isEmpty())
        focus_ = shown_.isEmpty() ? -1 : 0;
    fitWindow();
}

void MenuContent::setAvailableHeight(int height) {
    availableHeight_ = height;
    capRows();
    fitWindow();
}

void MenuContent::capRows() {
    // What the rest of the panel takes; the rows get what is left.
    const int others = layout()->sizeHint().height() - list_->sizeHint().height();
    list_->setHeightCap(std::max(availableHeight_ - screenMargin - others, 3 * 45));
}

void MenuContent::fitWindow() {
    if (QWidget* top = window(); top && top != this)
        top->adjustSize();
    else
        adjustSize();
}

int MenuContent::itemCount() const {
    return int(shown_.size()) + 3;
}

void MenuContent::moveFocus(int index) {
    if (itemCount() == 0)
        return;
    focus_ = std::clamp(index, 0, itemCount() - 1);
    if (focus_ < shown_.size()) {
        list_->ensureVisible(focus_);
        if (MacRow* row = list_->rowFor(focus_))
            row->setFocus(focusReason());
        return;
    }
    FooterButton* const commands[] = {refresh_, updates_, quit_};
    commands[focus_ - shown_.size()]->setFocus(focusReason());
}

void MenuContent::activateFocused() {
    if (focus_ >= 0 && focus_ < shown_.size()) {
        choose(shown_[focus_]);
        return;
    }
    FooterButton* const commands[] = {refresh_, updates_, quit_};
    if (focus_ >= shown_.size() && focus_ < itemCount())
        commands[focus_ - shown_.size()]->trigger();
}

Qt::FocusReason MenuContent::focusReason() const {
    // What rows and buttons take for a keyboard move (style::drawsFocusFor).
    return keyboardUsed_ ? Qt::TabFocusReason : Qt::OtherFocusReason;
}

bool MenuContent::handleKey(QKeyEvent* event, bool toFilter) {
    keyboardUsed_ = true;
    const bool typing = filter_->hasFocus() && !filter_->text().isEmpty();
    switch (event->key()) {
    case Qt::Key_Down:
        moveFocus(focus_ + 1);
        return true;
    case Qt::Key_Up:
        moveFocus(focus_ - 1);
        return true;
    case Qt::Key_Home:
        if (typing)
            return false;
        moveFocus(0);
        return true;
    case Qt::Key_End:
        if (typing)
            return false;
        moveFocus(itemCount() - 1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        activateFocused();
        return true;
    case Qt::Key_Space:
        if (typing) {
            if (!toFilter)
                filter_->insert(QStringLiteral(" "));
            return !toFilter;
        }
        activateFocused();
        return true;
    case Qt::Key_Escape:
        if (!filter_->text().isEmpty()) {
            filter_->clear();
            moveFocus(0);
        } else {
            emit closeRequested();
        }
        return true;
    case Qt::Key_Menu:
        if (focus_ >= 0 && focus_ < shown_.size()) {
            MacRow* row = list_->rowFor(focus_);
            rowMenu(shown_[focus_])
                ->popup(row ? row->mapToGlobal(row->rect().center())
                            : mapToGlobal(rect().center()));
            return true;
        }
        return false;
    default:
        break;
    }
    if (event->matches(QKeySequence::Copy) && focus_ >= 0 && focus_ < shown_.size() &&
        !(filter_->hasFocus() && filter_->hasSelectedText())) {
        QGuiApplication::clipboard()->setText(readableAddress(shown_[focus_].address));
        return true;
    }
    // Anything printable starts (or continues) the filter.
    const QString text = event->text();
    const bool plain =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    // (Keys the filter line gets it types itself.)
    if (plain && !text.isEmpty() && text.at(0).isPrint() && !toFilter) {
        filter_->show();
        filter_->setFocus(Qt::OtherFocusReason);
        filter_->insert(text);
        return true;
    }
    return false;
}

void MenuContent::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event, false))
        QWidget::keyPressEvent(event);
}

bool MenuContent::focusNextPrevChild(bool next) {
    moveFocus(focus_ + (next ? 1 : -1));
    return true;
}

void MenuContent::fitStatusHeight() {
    // Whatever holds the panel may size it from size hints alone, which know
    // nothing of wrapping: ask for the wrapped height outright.
    status_->setMinimumHeight(status_->heightForWidth(panelWidth));
}

bool MenuContent::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && event->type() == QEvent::FontChange)
        fitStatusHeight();
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            moveFocus(focus_ + (key->key() == Qt::Key_Tab ? 1 : -1));
            return true;
        }
        if (watched == filter_ || key->key() != Qt::Key_Space)
            return handleKey(key, watched == filter_);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace nimbrook
