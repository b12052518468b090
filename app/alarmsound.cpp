#include "app/alarmsound.h"

#include "app/alarmsink.h"
#include "app/audiosinkoutput.h"
#include "app/wavdata.h"
#include "device/configureddevice.h"
#include "store/logcategories.h"

#include <QAudioDevice>
#include <QDebug>
#include <QFile>
#include <QMediaDevices>

namespace {
const char *const SOUND_RESOURCE = "://critical.wav";

QAudioFormat fallbackFormat()
{
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}
} // namespace

AlarmSound::AlarmSound(QObject *parent) : QObject(parent), m_pMediaDevices(new QMediaDevices(this))
{
    if (!loadSound(QString::fromLatin1(SOUND_RESOURCE)))
        m_format = fallbackFormat();
    connect(m_pMediaDevices, &QMediaDevices::audioOutputsChanged, this,
            &AlarmSound::slotAudioOutputsChanged);
    openDefaultOutput();
}

void AlarmSound::openDefaultOutput()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    // No output at all (servers, virtual machines) is the machine's normal state, not a fault
    // worth a box: the window says so quietly and the sound starts once an output appears.
    m_bNoSoundDevice = device.isNull() && QMediaDevices::audioOutputs().isEmpty();
    if (m_bNoSoundDevice) {
        qCDebug(lcApp) << "AlarmSound::openDefaultOutput : no audio output, alarm sound off";
        setSink(nullptr);
        return;
    }
    if (!device.isFormatSupported(m_format)) {
        qCWarning(lcApp) << "Raw audio format not supported by backend, cannot play audio.";
        m_problems.prepend(
            {QStringLiteral("Audio"),
             QStringLiteral("Raw audio format not supported by backend, cannot play audio!")});
    }
    setSink(new AudioSinkOutput(device, m_format));
}

void AlarmSound::slotAudioOutputsChanged()
{
    // A sound handed its sink keeps it.
    if (!m_pMediaDevices)
        return;
    const bool wasMissing = m_bNoSoundDevice;
    // Only the change between none and some matters: a sink on a working output stays.
    if (!wasMissing && !QMediaDevices::audioOutputs().isEmpty())
        return;
    openDefaultOutput();
    if (wasMissing != m_bNoSoundDevice)
        emit soundDeviceChanged(!m_bNoSoundDevice);
}

AlarmSound::AlarmSound(const QString &soundFile, AlarmSink *sink, QObject *parent) : QObject(parent)
{
    loadSound(soundFile);
    setSink(sink);
}

AlarmSound::~AlarmSound()
{
    if (m_pSink)
        m_pSink->reset();
}

bool AlarmSound::loadSound(const QString &soundFile)
{
    QFile file(soundFile);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcApp) << "Could not find file \"critical.wav\"!";
        m_problems.append({QStringLiteral("critical.wav"),
                           QStringLiteral("Could not find file \"critical.wav\"!")});
        return false;
    }
    qCDebug(lcApp) << "m_audioFile size : " << file.size();

    WavData wav;
    QString error;
    if (!readWav(&file, &wav, &error)) {
        qCWarning(lcApp) << "[ERROR] AlarmSound::loadSound :" << soundFile << error;
        return false;
    }
    m_samples.setData(wav.samples);
    m_format = wav.format;
    m_samples.open(QIODevice::ReadOnly);
    return true;
}

void AlarmSound::setSink(AlarmSink *sink)
{
    if (m_pSink) {
        m_pSink->reset();
        delete m_pSink;
    }
    m_pSink = sink;
    if (m_pSink) {
        m_pSink->setParent(this);
        connect(m_pSink, &AlarmSink::stateChanged, this, &AlarmSound::stateChanged);
    }
}

bool AlarmSound::isActive() const
{
    return m_pSink && m_pSink->state() == QAudio::ActiveState;
}

void AlarmSound::play()
{
    if (!m_pSink || !m_samples.isOpen())
        return;
    m_samples.seek(0);
    m_pSink->start(&m_samples);
}

void AlarmSound::stop()
{
    if (m_pSink)
        m_pSink->stop();
}

void AlarmSound::reset()
{
    if (m_pSink)
        m_pSink->reset();
}

void AlarmSound::update(bool alarm)
{
    if (!alarm)
        stop();
    else if (!isActive())
        play();
}

bool AlarmSound::anyAlarm(const QList<ConfiguredDevice *> &devices)
{
    for (const ConfiguredDevice *device : devices) {
        if (device && (device->alarm1() || device->alarm2()))
            return true;
    }
    return false;
}
