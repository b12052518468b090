// Links only the recording core and uses it, so every library it needs is among the program's
// dependencies: tst_architecture_links reads them.
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "recorder/recorder.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Recorder recorder;
    recorder.setDevices({new ConfiguredDevice(QStringLiteral("0"), LINK_TCP)});
    recorder.poll();
    return recorder.isRecording() ? 1 : 0;
}
