// The smallest Qt Widgets program that waits in the tray: the baseline of the
// idle benchmark's memory figure.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QPixmap picture(16, 16);
    picture.fill(Qt::darkGreen);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.show();
    return app.exec();
}
