#pragma once

#include <QtGlobal>

// What one channel of one logger did over a range, in the channel's unit.
struct ChannelStatistics
{
    qint64 count = 0;
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
    // Samples that should be there and are not: the poll intervals of every gap longer than
    // 1.5 intervals, and rows that carry no value for this channel (break rows excepted: the
    // gap they mark is counted as a gap).
    qint64 missingIntervals = 0;
    qint64 secondsAbove = 0;
    qint64 secondsBelow = 0;
    // Only for temperature channels (hasMkt); in the channel's unit.
    bool hasMkt = false;
    double meanKineticTemperature = 0;
};

// The limits and unit of one channel as the project configures it.
struct ChannelSetup
{
    // Equal limits mean no alarm range, as in alarm evaluation.
    double lower = 0;
    double upper = 0;
    // 0: not a temperature, 1: degrees Celsius, 2: degrees Fahrenheit.
    int temperatureScale = 0;
};

// Statistics of one logger, fed its rows in time order. A sample counts for the time up to the
// next row, at most one poll interval: above- and below-limit times never include gaps.
class HistoryStatistics
{
public:
    // The default activation energy for stability monitoring, in kJ/mol.
    static constexpr double DEFAULT_ACTIVATION_ENERGY = 83.144;

    HistoryStatistics(qint64 intervalSeconds, const ChannelSetup &ch1, const ChannelSetup &ch2,
                      double activationEnergyKJ = DEFAULT_ACTIVATION_ENERGY);

    // NaN is no value; a row with no value on both channels is a break.
    void add(qint64 time, double ch1, double ch2);
    ChannelStatistics channel(int index) const;
    qint64 intervalSeconds() const { return m_nInterval; }

    static double meanKineticTemperature(double sumExp, qint64 count, double activationEnergyKJ);

private:
    struct Accumulator
    {
        ChannelSetup setup;
        qint64 count = 0;
        double minimum = 0;
        double maximum = 0;
        double sum = 0;
        double sumExp = 0;
        qint64 missing = 0;
        qint64 above = 0;
        qint64 below = 0;
        double pending = NAN;
    };
    void close(Accumulator &a, qint64 seconds) const;

    qint64 m_nInterval;
    double m_fActivation;
    Accumulator m_channels[2];
    bool m_bHasRow = false;
    qint64 m_nLastTime = 0;
};
