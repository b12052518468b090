#include "app/velmoranmain.h"

#include <QApplication>
#include <QPixmap>
#include <QSplashScreen>
#include <QThread>

namespace {
constexpr unsigned long SPLASH_PAUSE_MS = 2500;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QSplashScreen splash(QPixmap(QStringLiteral(":/img/LoadingLite.png")));
    splash.show();
    splash.showMessage(QStringLiteral("[") + QStringLiteral("V3.54") +
                           QStringLiteral("] Loading modules..."),
                       Qt::AlignBottom | Qt::AlignHCenter, Qt::darkGray);

    auto *window = new VelmoranMain;
    if (window->exitRequested()) {
        delete window;
        return 0;
    }
    QApplication::processEvents();
    QThread::msleep(SPLASH_PAUSE_MS);

    window->show();
    splash.finish(window);
    const int exitCode = app.exec();
    delete window;
    return exitCode;
}
