#include <QFile>
#include <QImage>
#include <QtTest>

// Every image the forms and code name, and the alarm sound, must be compiled in.
class TestResources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyNamedImageLoads_data()
    {
        QTest::addColumn<QString>("path");
        const char *names[] = {"DashboardText", "DeviceCh1", "DeviceCh2", "DeviceConnectedSymbol",
                               "DeviceConnectingSymbol", "DeviceDisconnectedSymbol", "DeviceImg",
                               "I_2", "KestrelixLogo", "KestrelixSymbol", "KestrelixSymbol2",
                               "LoadingLite", "RecordButton", "RecordStopButton", "StateReady",
                               "StateRecording", "VelmoranLogoLite", "btn_addDevice",
                               "btn_createProject", "btn_interval", "btn_removeDevice",
                               "icon_lan", "icon_usb", "velmoran_lite"};
        for (const char *name : names)
            QTest::newRow(name) << QStringLiteral(":/img/%1.png").arg(QLatin1String(name));
    }

    void everyNamedImageLoads()
    {
        QFETCH(QString, path);
        QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
    }

    void alarmSoundIsOneSecondOf16BitStereoAt44100Hz()
    {
        QFile file(QStringLiteral("://critical.wav"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(44);
        QCOMPARE(header.left(4), QByteArray("RIFF"));
        QCOMPARE(header.mid(8, 4), QByteArray("WAVE"));
        const auto u16 = [&](int at) {
            return quint16(uchar(header[at]) | (uchar(header[at + 1]) << 8));
        };
        const auto u32 = [&](int at) { return quint32(u16(at) | (quint32(u16(at + 2)) << 16)); };
        QCOMPARE(u16(20), quint16(1)); // PCM
        QCOMPARE(u16(22), quint16(2));
        QCOMPARE(u32(24), quint32(44100));
        QCOMPARE(u16(34), quint16(16));
        QCOMPARE(u32(40), quint32(44100 * 4));
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
