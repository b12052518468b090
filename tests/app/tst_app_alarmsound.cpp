#include "app/alarmsink.h"
#include "app/alarmsound.h"
#include "app/wavdata.h"
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "tests/app/fakesink.h"

#include <QAudioDevice>
#include <QBuffer>
#include <QFile>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <memory>

namespace {

QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray chunk(const QByteArray &id, const QByteArray &body)
{
    QByteArray c = id + le32(quint32(body.size())) + body;
    if (body.size() % 2)
        c.append('\0');
    return c;
}

QByteArray fmtBody(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

bool parse(const QByteArray &bytes, WavData *out, QString *error)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWav(&buffer, out, error);
}

} // namespace

class TestAlarmSound : public QObject
{
    Q_OBJECT

private slots:
    void theAlarmSoundIsSixteenBitSignedStereoWithoutItsHeader()
    {
        QFile file(":/critical.wav");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.seek(0);
        WavData wav;
        QString error;
        QVERIFY2(readWav(&file, &wav, &error), qPrintable(error));
        QCOMPARE(wav.format.sampleRate(), 44100);
        QCOMPARE(wav.format.channelCount(), 2);
        QCOMPARE(wav.format.sampleFormat(), QAudioFormat::Int16);
        const qsizetype dataAt = bytes.indexOf("data") + 8;
        QCOMPARE(wav.samples.size(),
                 qsizetype(qFromLittleEndian<quint32>(bytes.constData() + dataAt - 4)));
        QCOMPARE(wav.samples, bytes.mid(dataAt, wav.samples.size()));
        QVERIFY(!wav.samples.contains("RIFF"));
    }

    void chunksBeforeTheDataAreSkipped()
    {
        const QByteArray samples = QByteArray::fromHex("0100ffff02000300");
        const QByteArray bytes = riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) +
                                      chunk("LIST", "INFOabc") + chunk("data", samples));
        WavData wav;
        QString error;
        QVERIFY2(parse(bytes, &wav, &error), qPrintable(error));
        QCOMPARE(wav.format.sampleRate(), 8000);
        QCOMPARE(wav.format.channelCount(), 1);
        QCOMPARE(wav.samples, samples);

        // A data chunk that claims more than the file holds plays what is there, whole frames only.
        const QByteArray truncated =
            riff(chunk("fmt ", fmtBody(1, 2, 8000, 16))) + "data" + le32(1000) + "abcdef";
        QVERIFY2(parse(truncated, &wav, &error), qPrintable(error));
        QCOMPARE(wav.samples, QByteArray("abcd"));
    }

    void streamsThatAreNotPcmWaveAreRefused()
    {
        WavData wav;
        QString error;
        QVERIFY(!parse("RIFX....WAVE", &wav, &error));
        QVERIFY(!parse(QByteArray(), &wav, &error));
        QVERIFY(!parse(riff(chunk("data", "abcd")), &wav, &error));
        QVERIFY(!parse(riff(chunk("fmt ", fmtBody(2, 2, 44100, 4)) + chunk("data", "abcd")), &wav,
                       &error));
        QVERIFY(!parse(riff(chunk("fmt ", fmtBody(1, 2, 44100, 16))), &wav, &error));
        QVERIFY(!parse(riff(chunk("fmt ", "short")), &wav, &error));
    }

    void twoDevicesInAlarmPlayOneSoundAtATime()
    {
        auto *sink = new FakeSink;
        AlarmSound sound(":/critical.wav", sink);
        ConfiguredDevice first("A1", LINK_TCP);
        ConfiguredDevice second("B2", LINK_TCP);
        ConfiguredDevice quiet("C3", LINK_TCP);
        first.setAlarm1(true);
        second.setAlarm2(true);
        const QList<ConfiguredDevice *> devices{&quiet, &first, &second};

        QVERIFY(AlarmSound::anyAlarm(devices));
        for (int tick = 0; tick < 3; ++tick)
            sound.update(AlarmSound::anyAlarm(devices));
        QCOMPARE(sink->starts, 1);
        QCOMPARE(sink->stops, 0);
        QVERIFY(sound.isActive());
    }

    void aFinishedPlaybackRestartsFromTheBeginningWhileTheAlarmLasts()
    {
        auto *sink = new FakeSink;
        AlarmSound sound(":/critical.wav", sink);
        QSignalSpy states(&sound, &AlarmSound::stateChanged);
        sound.update(true);
        QCOMPARE(sink->startPosition, 0);
        const QByteArray firstPlayback = sink->played;
        QVERIFY(firstPlayback.size() > 1000);
        QVERIFY(!firstPlayback.startsWith("RIFF"));

        sink->finishPlayback();
        QVERIFY(!sound.isActive());
        sound.update(true);
        QCOMPARE(sink->starts, 2);
        QCOMPARE(sink->startPosition, 0);
        QCOMPARE(sink->played, firstPlayback);
        QVERIFY(states.count() >= 3);
    }

    void anAlarmThatClearsMidPlaybackStopsTheSound()
    {
        auto *sink = new FakeSink;
        AlarmSound sound(":/critical.wav", sink);
        ConfiguredDevice device("A1", LINK_TCP);
        device.setAlarm1(true);
        sound.update(AlarmSound::anyAlarm({&device}));
        QVERIFY(sound.isActive());

        device.setAlarm1(false);
        QVERIFY(!AlarmSound::anyAlarm({&device, nullptr}));
        sound.update(AlarmSound::anyAlarm({&device}));
        QCOMPARE(sink->stops, 1);
        QCOMPARE(sink->state(), QAudio::StoppedState);
        QCOMPARE(sink->starts, 1);
    }

    void aMissingSoundFileIsReportedAndPlaysNothing()
    {
        auto *sink = new FakeSink;
        AlarmSound sound(":/no-such.wav", sink);
        QCOMPARE(sound.problems().size(), 1);
        QCOMPARE(sound.problems().first().title, QStringLiteral("critical.wav"));
        QCOMPARE(sound.problems().first().text,
                 QStringLiteral("Could not find file \"critical.wav\"!"));
        sound.update(true);
        QCOMPARE(sink->starts, 0);
    }

    void theDefaultOutputNeverBlocksOrCrashesWithoutADevice()
    {
        AlarmSound sound;
        for (const AlarmSound::Problem &problem : sound.problems())
            QVERIFY(problem.title == "Audio" || problem.title == "critical.wav");
        // No output at all is no problem to show: the sound is simply off until one appears.
        const bool noDevice = QMediaDevices::audioOutputs().isEmpty();
        QCOMPARE(sound.hasNoSoundDevice(), noDevice);
        QCOMPARE(sound.sink() == nullptr, noDevice);
        if (noDevice)
            QVERIFY(sound.problems().isEmpty());
        QSignalSpy changed(&sound, &AlarmSound::soundDeviceChanged);
        sound.slotAudioOutputsChanged();
        QCOMPARE(changed.count(), 0);
        sound.update(true);
        sound.update(true);
        sound.update(false);
        sound.reset();
        QVERIFY(!sound.isActive());
    }
};

QTEST_MAIN(TestAlarmSound)
#include "tst_app_alarmsound.moc"
