#pragma once

#include "app/alarmsink.h"

#include <QIODevice>

// Stands in for an audio output: plays "instantly" into ActiveState and finishes on request.
class FakeSink : public AlarmSink
{
public:
    QAudio::State state() const override { return m_state; }
    void start(QIODevice *source) override
    {
        ++starts;
        startPosition = source->pos();
        played = source->readAll();
        setState(QAudio::ActiveState);
    }
    void stop() override
    {
        ++stops;
        setState(QAudio::StoppedState);
    }
    void reset() override { setState(QAudio::StoppedState); }
    void finishPlayback() { setState(QAudio::IdleState); }

    int starts = 0, stops = 0;
    qint64 startPosition = -1;
    QByteArray played;

private:
    void setState(QAudio::State state)
    {
        if (m_state != state)
            emit stateChanged(m_state = state);
    }
    QAudio::State m_state = QAudio::StoppedState;
};
