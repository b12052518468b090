// A recording program to be killed: loads the project given on the command line, records,
// polls and flushes as fast as the loggers answer, and after every committed batch prints
// "COMMITTED <rows in the table>" so the killer knows what must survive.
#include "app/velmoranmain.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    isolateSettings();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <project.tpc>\n", argv[0]);
        return 2;
    }
    VelmoranMain window;
    window.projectLoaded(QString::fromLocal8Bit(argv[1]));
    window.slotStartRecord();
    if (!window.isRecording() || !window.store()) {
        std::fprintf(stderr, "the project does not record\n");
        return 2;
    }
    QList<QTimer *> timers = window.findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    timers += window.recorder()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    for (QTimer *timer : timers)
        timer->stop();

    QTimer cycle;
    QObject::connect(&cycle, &QTimer::timeout, &window, [&window] {
        window.writeDevice();
        const int before = window.pendingRows().count();
        window.writeDb();
        if (window.pendingRows().count() < before) {
            std::printf("COMMITTED %d\n", window.store()->totalRow());
            std::fflush(stdout);
        }
    });
    cycle.start(5);
    std::printf("RECORDING\n");
    std::fflush(stdout);
    return app.exec();
}
