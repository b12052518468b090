#pragma once

#include "device/devicedisplay.h"
#include "device/devicetypes.h"

#include <QStringList>

#include <vector>

// Displays that write down what the device pushed into them, in one shared log, so that
// the order of the pushes can be checked across views.
class RecordingTile : public DeviceTileView
{
public:
    RecordingTile(const QString &name, QStringList *log) : m_name(name), m_log(log) {}
    void setValue(const QString &text) override { *m_log << m_name + " value " + text; }
    void deviceConnected(const QString &number) override
    {
        *m_log << m_name + " connected " + number;
    }
    void deviceDisconnected(const QString &number) override
    {
        *m_log << m_name + " disconnected " + number;
    }

private:
    QString m_name;
    QStringList *m_log;
};

class RecordingDetailView : public DeviceDetailView
{
public:
    explicit RecordingDetailView(QStringList *log) : m_log(log) {}
    void updateData(const double *time, const double *ch1, const double *ch2, const QString &text1,
                    const QString &text2) override
    {
        *m_log << "chart " + text1 + " " + text2;
        lastTime.assign(time, time + CHART_POINTS);
        lastCh1.assign(ch1, ch1 + CHART_POINTS);
        lastCh2.assign(ch2, ch2 + CHART_POINTS);
    }
    void deviceConnected(const QString &number) override { *m_log << "chart connected " + number; }
    void deviceDisconnected(const QString &number) override
    {
        *m_log << "chart disconnected " + number;
    }

    std::vector<double> lastTime, lastCh1, lastCh2;

private:
    QStringList *m_log;
};
