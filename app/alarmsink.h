#pragma once

#include <QAudio>
#include <QObject>

class QIODevice;

// Where the alarm sound goes: the default audio output in the program, a stand-in in tests
// (machines without a sound device cannot show what a real sink does).
class AlarmSink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QAudio::State state() const = 0;
    // Plays source from its current position until its end.
    virtual void start(QIODevice *source) = 0;
    virtual void stop() = 0;
    virtual void reset() = 0;

signals:
    void stateChanged(QAudio::State state);
};
