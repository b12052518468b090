#pragma once

#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "tests/app/appfixture.h"
#include "tests/support/simprocess.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace AppFixture {

struct LoggerLimits
{
    float ch1Min = -100, ch1Max = 100, ch2Min = -100, ch2Max = 200;
};

// Writes a project file whose loggers are the simulator's (loopback TCP or pty USB loggers).
inline bool writeLoggerProject(const QString &path, const QList<SimProcess::Logger> &loggers,
                               int interval, const LoggerLimits &limits = {})
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
    return writeProject(path, devices, interval);
}

} // namespace AppFixture
