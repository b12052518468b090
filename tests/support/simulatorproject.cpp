#include "tests/support/simulatorproject.h"

#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/projectfile.h"

#include <memory>
#include <vector>

bool writeSimulatorProject(const QString &path, const QList<SimProcess::Logger> &loggers,
                           int interval, const AlarmLimits &limits,
                           const QStringList &dashboardNames)
{
    std::vector<std::unique_ptr<ConfiguredDevice>> owned;
    QList<ConfiguredDevice *> devices;
    for (const SimProcess::Logger &logger : loggers) {
        const bool usb = logger.kind == QStringLiteral("USB");
        owned.push_back(
            std::make_unique<ConfiguredDevice>(logger.deviceNumber, usb ? LINK_SERIAL : LINK_TCP));
        ConfiguredDevice *device = owned.back().get();
        device->setConnection(logger.id, QStringLiteral("CH1"), QStringLiteral("CH2"),
                              logger.address, usb ? quint16(23) : logger.port);
        device->setAlarmRange(limits.ch1Min, limits.ch1Max, limits.ch2Min, limits.ch2Max);
        devices.append(device);
    }
    return ProjectFile::create(path, ProjectFile::baseName(path), interval) &&
           ProjectFile::saveDevices(path, devices) &&
           ProjectFile::writeConfiguration(path, interval, dashboardNames);
}
