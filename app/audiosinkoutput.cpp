#include "app/audiosinkoutput.h"

#include <QAudioSink>

namespace {
constexpr qsizetype SINK_BUFFER_BYTES = 10000;
}

AudioSinkOutput::AudioSinkOutput(const QAudioDevice &device, const QAudioFormat &format,
                                 QObject *parent)
    : AlarmSink(parent), m_device(device), m_sink(new QAudioSink(device, format, this))
{
    m_sink->setBufferSize(SINK_BUFFER_BYTES);
    connect(m_sink, &QAudioSink::stateChanged, this, &AlarmSink::stateChanged);
}

QAudio::State AudioSinkOutput::state() const
{
    return m_sink->state();
}

void AudioSinkOutput::start(QIODevice *source)
{
    // Without an output device every start fails the same way; trying it every second
    // would only repeat the backend's error.
    if (m_device.isNull())
        return;
    m_sink->start(source);
}

void AudioSinkOutput::stop()
{
    m_sink->stop();
}

void AudioSinkOutput::reset()
{
    m_sink->reset();
}
