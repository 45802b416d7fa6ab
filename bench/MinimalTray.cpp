// The floor the tray app is measured against (scripts/lib/tray_bench.sh): a
// tray icon and, at a click, a popup of 20 labels, with nothing else. With
// --sorted it first puts the labels in the order Nimbrook's list must have
// (the locale's, numbers by value, case ignored), which is what ICU's
// collation costs any program. It logs the two lines the benchmark waits
// for, as Nimbrook does.
#include <QApplication>
#include <QCollator>
#include <QDebug>
#include <QIcon>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList names;
    for (int i = 20; i >= 1; --i)
        names.append(QStringLiteral("Machine %1").arg(i));
    if (QApplication::arguments().contains(QStringLiteral("--sorted"))) {
        // The C locale would compare code units, as Nimbrook never does.
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English, QLocale::UnitedStates);
        QCollator collator(locale);
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::sort(names.begin(), names.end(), collator);
    }
    QWidget popup(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    auto* layout = new QVBoxLayout(&popup);
    for (const QString& name : std::as_const(names))
        layout->addWidget(new QLabel(name));
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
