// Links only the device library, and uses it: tst_architecture_links reads its dependencies.
#include "device/configureddevice.h"
#include "device/devicetypes.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ConfiguredDevice device(QStringLiteral("0"), LINK_TCP);
    device.readMeasureData(QStringLiteral("20.5,40.1"));
    return device.isConnected() ? 0 : 1;
}
