#pragma once

#include <QAudio>
#include <QAudioFormat>
#include <QBuffer>
#include <QList>
#include <QObject>
#include <QString>

class AlarmSink;
class ConfiguredDevice;
class QMediaDevices;

// The repeating alarm sound: one playback of the sound file at a time, restarted by the
// caller's clock tick while an alarm persists and stopped when none is left.
class AlarmSound : public QObject
{
    Q_OBJECT

public:
    // A start-up problem the window shows to the user (title and text of its message box).
    struct Problem
    {
        QString title;
        QString text;
    };

    // Plays ":/critical.wav" on the system's default audio output.
    explicit AlarmSound(QObject *parent = nullptr);
    // Plays soundFile on the given sink (owned).
    AlarmSound(const QString &soundFile, AlarmSink *sink, QObject *parent = nullptr);
    ~AlarmSound() override;

    QList<Problem> problems() const { return m_problems; }
    // True while the machine has no audio output at all: the sound is off, and it comes on
    // by itself when an output appears.
    bool hasNoSoundDevice() const { return m_bNoSoundDevice; }
    AlarmSink *sink() const { return m_pSink; }
    // Replaces the sink (owned); the old one is deleted.
    void setSink(AlarmSink *sink);

    bool isActive() const;
    void play();
    void stop();
    void reset();
    // The clock tick's rule: start unless already playing while an alarm is on, else stop.
    void update(bool alarm);

    static bool anyAlarm(const QList<ConfiguredDevice *> &devices);

public slots:
    // The list of audio outputs changed: a first output gets the sound going.
    void slotAudioOutputsChanged();

signals:
    void stateChanged(QAudio::State state);
    void soundDeviceChanged(bool available);

private:
    bool loadSound(const QString &soundFile);
    void openDefaultOutput();

    AlarmSink *m_pSink = nullptr;
    QBuffer m_samples;
    QAudioFormat m_format;
    QList<Problem> m_problems;
    QMediaDevices *m_pMediaDevices = nullptr;
    bool m_bNoSoundDevice = false;
};
