#pragma once

#include <QHash>
#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QVBoxLayout;

namespace nimbrook {

class Discovery;
class FooterButton;
class MacRow;
struct RemoteMac;

// Everything the panel shows: "My Macs", the status line while the list is
// empty, one row per machine (Ctrl+1 … Ctrl+9 for the first nine), and the
// Refresh, Check for Updates… and Quit commands. It redraws from the Discovery's
// published values whenever they change, keeping one row widget per machine.
class MenuContent final : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 240;

    // `checkForUpdates` runs the update check; `terminate` ends the program.
    MenuContent(Discovery& discovery, std::function<void()> checkForUpdates,
                std::function<void()> terminate, QWidget* parent = nullptr);

    // For tests and accessibility: what is on screen now.
    QString statusText() const; // empty when the status line is hidden
    QList<MacRow*> rows() const;
    FooterButton* refreshButton() const { return refresh_; }
    FooterButton* updatesButton() const { return updates_; }
    FooterButton* quitButton() const { return quit_; }

    // The menu's commands.
    void refresh();
    void quit();
    void activateRow(int position);
    // The row menu of `mac`: "Notify When Online" and "Pin to Top" or "Unpin".
    QMenu* rowMenu(const RemoteMac& mac);

signals:
    // Emitted every time the content is shown.
    void shown();
    // A machine was chosen; its address is handed over right after this.
    void choosing();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void redraw();
    void choose(const RemoteMac& mac);

    Discovery& discovery_;
    std::function<void()> terminate_;
    QLabel* header_;
    QLabel* status_;
    QVBoxLayout* rowsLayout_;
    QHash<QString, MacRow*> rowsByIdentity_;
    QList<MacRow*> rowsInOrder_;
    FooterButton* refresh_;
    FooterButton* updates_;
    FooterButton* quit_;
};

} // namespace nimbrook
