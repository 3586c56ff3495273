// The reference for bench_idle: a Qt Widgets program that does nothing but
// stand on the screen with one plain window (or, with --hidden, keep it
// hidden), so its wake-ups and memory are what any Qt window costs here.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.resize(320, 240);
    if (!app.arguments().contains(QStringLiteral("--hidden"))) window.show();
    return app.exec();
}
