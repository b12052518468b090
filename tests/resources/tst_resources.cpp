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
        const QString names = "DashboardText DeviceCh1 DeviceCh2 DeviceConnectedSymbol "
                              "DeviceConnectingSymbol DeviceDisconnectedSymbol DeviceImg I_2 "
                              "KestrelixLogo KestrelixSymbol KestrelixSymbol2 LoadingLite "
                              "RecordButton RecordStopButton StateReady StateRecording "
                              "VelmoranLogoLite btn_addDevice btn_createProject btn_interval "
                              "btn_removeDevice icon_lan icon_usb velmoran_lite";
        for (const QString &name : names.split(' '))
            QTest::newRow(qPrintable(name)) << ":/img/" + name + ".png";
    }

    void everyNamedImageLoads()
    {
        QFETCH(QString, path);
        QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
    }

    // The format of the sound is checked where it is parsed; here only its second path.
    void alarmSoundOpensUnderBothPaths()
    {
        QVERIFY(QFile(QStringLiteral("://critical.wav")).open(QIODevice::ReadOnly));
        QVERIFY(QFile(QStringLiteral(":/critical.wav")).open(QIODevice::ReadOnly));
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
