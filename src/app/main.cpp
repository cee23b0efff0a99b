#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("GlowKite Protokoll"));
    window.resize(678, 619);
    window.show();
    return app.exec();
}
