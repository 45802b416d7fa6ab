// The floor the tray app is measured against (scripts/lib/tray_bench.sh): a
// tray icon and, at a click, a popup of 20 labels, with nothing else. It logs
// the two lines the benchmark waits for, as Nimbrook does.
#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>


int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget popup(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(&popup);
    for (int i = 1; i <= 20; ++i)
        layout->addWidget(new QLabel(QStringLiteral("Machine %1").arg(i)));
    QSystemTrayIcon tray(QIcon(QStringLiteral(":/nimbrook/icons/nimbrook.svg")));
    QObject::connect(&tray, &QSystemTrayIcon::activated, &popup, [&] {
        popup.move(tray.geometry().topLeft() - QPoint(0, popup.sizeHint().height()));
        popup.show();
    });
    tray.show();
    qInfo("tray icon set");
    QTimer::singleShot(100, &tray, [&] {
        const QRect g = tray.geometry();
        qInfo("tray shown, icon geometry %d,%d %dx%d", g.x(), g.y(), g.width(), g.height());
    });
    return QApplication::exec();
}
