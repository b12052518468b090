#pragma once

#include "app/alarmsink.h"

#include <QAudioDevice>
#include <QAudioFormat>

class QAudioSink;

// The alarm sink over a QAudioSink on one output device.
class AudioSinkOutput : public AlarmSink
{
    Q_OBJECT

public:
    AudioSinkOutput(const QAudioDevice &device, const QAudioFormat &format,
                    QObject *parent = nullptr);

    QAudio::State state() const override;
    void start(QIODevice *source) override;
    void stop() override;
    void reset() override;

private:
    QAudioDevice m_device;
    QAudioSink *m_sink = nullptr;
};
