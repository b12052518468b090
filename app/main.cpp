#include "app/commandline.h"
#include "app/headlessrecorder.h"
#include "app/historycommand.h"
#include "app/localtimezone.h"
#include "app/terminationwatcher.h"
#include "app/velmoranmain.h"
#include "view/darklook.h"

#include <QApplication>
#include <QPixmap>
#include <QSplashScreen>
#include <QThread>

#include <cstring>

namespace {
constexpr unsigned long SPLASH_PAUSE_MS = 2500;

// --help and --version only print: they must work on a server without a display too.
bool onlyPrints(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *name : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], name) == 0)
                return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    pinLocalTimeZone();
    if (HistoryCommand::wanted(argc, argv))
        return HistoryCommand::run(argc, argv);
    // No QApplication, no widget: the recorder runs where there is no display at all.
    if (wantsHeadless(argc, argv))
        return runHeadless(argc, argv);
    if (onlyPrints(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DarkLook::apply(&app);
    // Desktops match the window to its launcher and AppStream entry by this name (Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.velmoran.VelmoranLite"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.54"));
    processCommandLine(QCoreApplication::arguments());
    // Before the window: a stop request during start-up is handled once the event loop runs.
    TerminationWatcher termination;

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
    // A request to end from outside is not the user's close button: a running recording is
    // stopped properly (queued rows and break rows written, range saved) and the program ends.
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, window, [window] {
        if (window->isRecording())
            window->slotStopRecord();
        window->close();
        QCoreApplication::quit();
    });

    QApplication::processEvents();
    QThread::msleep(SPLASH_PAUSE_MS);

    window->show();
    splash.finish(window);
    const int exitCode = app.exec();
    delete window;
    return exitCode;
}
