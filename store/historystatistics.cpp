#include "store/historystatistics.h"

#include <cmath>

namespace {

constexpr double GAS_CONSTANT = 8.314462618; // J/(mol K)

double toKelvin(double value, int scale)
{
    return scale == 2 ? (value - 32.0) * 5.0 / 9.0 + 273.15 : value + 273.15;
}

double fromKelvin(double kelvin, int scale)
{
    return scale == 2 ? (kelvin - 273.15) * 9.0 / 5.0 + 32.0 : kelvin - 273.15;
}

} // namespace

HistoryStatistics::HistoryStatistics(qint64 intervalSeconds, const ChannelSetup &ch1,
                                     const ChannelSetup &ch2, double activationEnergyKJ)
    : m_nInterval(qMax<qint64>(1, intervalSeconds)), m_fActivation(activationEnergyKJ)
{
    m_channels[0].setup = ch1;
    m_channels[1].setup = ch2;
}

double HistoryStatistics::meanKineticTemperature(double sumExp, qint64 count,
                                                 double activationEnergyKJ)
{
    const double ratio = activationEnergyKJ * 1000.0 / GAS_CONSTANT;
    return ratio / -std::log(sumExp / double(count));
}

void HistoryStatistics::close(Accumulator &a, qint64 seconds) const
{
    if (std::isnan(a.pending))
        return;
    const ChannelSetup &s = a.setup;
    if (s.lower != s.upper) {
        if (a.pending > s.upper)
            a.above += seconds;
        else if (a.pending < s.lower)
            a.below += seconds;
    }
    a.pending = NAN;
}

void HistoryStatistics::add(qint64 time, double ch1, double ch2)
{
    const bool isBreak = std::isnan(ch1) && std::isnan(ch2);
    const qint64 step = m_bHasRow ? time - m_nLastTime : 0;
    const bool gap = m_bHasRow && 2 * step > 3 * m_nInterval;
    const double values[2] = {ch1, ch2};
    for (int i = 0; i < 2; ++i) {
        Accumulator &a = m_channels[i];
        close(a, qMin(step, m_nInterval));
        if (gap)
            a.missing += qMax<qint64>(0, qRound64(double(step) / double(m_nInterval)) - 1);
        const double v = values[i];
        if (std::isnan(v)) {
            if (!isBreak)
                ++a.missing;
            continue;
        }
        a.minimum = a.count == 0 ? v : qMin(a.minimum, v);
        a.maximum = a.count == 0 ? v : qMax(a.maximum, v);
        a.sum += v;
        ++a.count;
        if (a.setup.temperatureScale != 0)
            a.sumExp += std::exp(-m_fActivation * 1000.0 /
                                 (GAS_CONSTANT * toKelvin(v, a.setup.temperatureScale)));
        a.pending = v;
    }
    m_bHasRow = true;
    m_nLastTime = time;
}

ChannelStatistics HistoryStatistics::channel(int index) const
{
    Accumulator a = m_channels[index];
    // The last sample counts for one interval.
    close(a, m_nInterval);
    ChannelStatistics s;
    s.count = a.count;
    s.minimum = a.minimum;
    s.maximum = a.maximum;
    s.mean = a.count > 0 ? a.sum / double(a.count) : 0;
    s.missingIntervals = a.missing;
    s.secondsAbove = a.above;
    s.secondsBelow = a.below;
    s.hasMkt = a.setup.temperatureScale != 0 && a.count > 0;
    if (s.hasMkt)
        s.meanKineticTemperature = fromKelvin(
            meanKineticTemperature(a.sumExp, a.count, m_fActivation), a.setup.temperatureScale);
    return s;
}
