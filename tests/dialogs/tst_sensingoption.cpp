#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgetfinder.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
QList<float> committedLimits(const ConfiguredDevice &device)
{
    float limits[4];
    device.alarmRange(limits);
    return {limits[0], limits[1], limits[2], limits[3]};
}

void setRanges(const QObject *dialog, double min1, double max1, double min2, double max2)
{
    child<QDoubleSpinBox>(dialog, "doubleSpinBox_min_ch1")->setValue(min1);
    child<QDoubleSpinBox>(dialog, "doubleSpinBox_max_ch1")->setValue(max1);
    child<QDoubleSpinBox>(dialog, "doubleSpinBox_min_ch2")->setValue(min2);
    child<QDoubleSpinBox>(dialog, "doubleSpinBox_max_ch2")->setValue(max2);
}

// How many of the four limit boxes can be edited.
int editableRanges(const QObject *dialog)
{
    int count = 0;
    for (const char *name : {"doubleSpinBox_min_ch1", "doubleSpinBox_max_ch1",
                             "doubleSpinBox_min_ch2", "doubleSpinBox_max_ch2"})
        count += child<QDoubleSpinBox>(dialog, name)->isEnabled() ? 1 : 0;
    return count;
}

void clickConfirm(const QObject *dialog)
{
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
}

const QString DEGREE = QString(QChar(0x00B0));
} // namespace

class SensingOptionTest : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    SimProcess::Logger m_logger;

    std::unique_ptr<ConfiguredDevice> makeUsbDevice(bool connected)
    {
        auto device = std::make_unique<ConfiguredDevice>("KX0001", LINK_SERIAL);
        device->setConnection("Freezer", "Temp", "Hum", "/dev/ttyACM0", 23);
        device->setUnits(1, 3);
        device->setAlarmRange(-30.0f, -10.0f, 10.0f, 90.0f);
        if (connected)
            device->deviceConnected();
        else
            device->deviceDisconnected();
        return device;
    }

    // A network logger on the simulator, connected the way the program connects it: one poll.
    std::unique_ptr<ConfiguredDevice> makeConnectedLogger()
    {
        auto device = std::make_unique<ConfiguredDevice>(m_logger.deviceNumber, LINK_TCP);
        device->setConnection("Dock", "Temp", "Hum", m_logger.address, m_logger.port);
        device->setUnits(1, 3);
        device->setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        device->setBuzzerAlarm("OFF");
        device->requestData();
        if (!QTest::qWaitFor([&] { return device->isConnected(); }, 5000))
            qWarning() << "the simulated logger did not answer the poll";
        m_sim.command("received tcp0");
        return device;
    }

    QString received() { return m_sim.command("received tcp0"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        m_logger = m_sim.logger("tcp0");
        QVERIFY(m_logger.port != 0);
    }
    void init()
    {
        QCOMPARE(m_sim.command("fault tcp0 none").left(2), QStringLiteral("ok"));
        m_sim.command("auto tcp0");
    }

    void usbDialogShowsTheDeviceWithItsUnitsAndRanges()
    {
        auto device = makeUsbDevice(true);
        device->setCh2Custom("ppm");
        SensingOptionUsbDialog dialog(device.get());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmoran Lite"));
        QCOMPARE(child<QLabel>(&dialog, "label_serialnumber")->text(), QStringLiteral("KX0001"));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_devicename")->text(),
                 QStringLiteral("Freezer"));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_ch1name")->text(), QStringLiteral("Temp"));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_ch2name")->text(), QStringLiteral("Hum"));
        QCOMPARE(child<QPushButton>(&dialog, "pushButton_confirm")->text(),
                 QStringLiteral("CONFIRM"));

        auto *unit1 = child<QComboBox>(&dialog, "comboBox_unit_ch1");
        auto *unit2 = child<QComboBox>(&dialog, "comboBox_unit_ch2");
        QStringList texts;
        for (int i = 0; i < unit1->count(); ++i) {
            texts.append(unit1->itemText(i));
            QCOMPARE(unit1->itemData(i).toInt(), i);
        }
        QCOMPARE(texts, (QStringList{"Undefined", "Temperature(" + DEGREE + "C)",
                                     "Temperature(" + DEGREE + "F)", "Humidity(%)", "Custom"}));
        QCOMPARE(unit2->itemText(4), QStringLiteral("ppm"));
        QCOMPARE(unit1->currentIndex(), 1);
        QCOMPARE(unit2->currentIndex(), 3);

        auto *min1 = child<QDoubleSpinBox>(&dialog, "doubleSpinBox_min_ch1");
        QCOMPARE(min1->value(), -30.0);
        QCOMPARE(child<QDoubleSpinBox>(&dialog, "doubleSpinBox_max_ch2")->value(), 90.0);
        QCOMPARE(min1->minimum(), -10000000.0);
        QCOMPARE(min1->maximum(), 10000000.0);
        QCOMPARE(min1->decimals(), 2);
        QCOMPARE(editableRanges(&dialog), 4);
    }

    void usbConfirmAppliesNamesUnitsAndRangesAtOnce()
    {
        auto device = makeUsbDevice(true);
        QPointer<SensingOptionUsbDialog> dialog = new SensingOptionUsbDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionUsbDialog::sensingConfirm);
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Chiller");
        child<QLineEdit>(dialog, "lineEdit_ch2name")->setText("Pressure");
        auto *unit2 = child<QComboBox>(dialog, "comboBox_unit_ch2");
        unit2->setCurrentIndex(4);
        QVERIFY(unit2->isEditable());
        unit2->lineEdit()->selectAll();
        QTest::keyClicks(unit2->lineEdit(), "kPa");
        setRanges(dialog, -25.5, -5, 80, 120.25);
        clickConfirm(dialog);

        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(device->deviceName(), QStringLiteral("Chiller"));
        QCOMPARE(device->ch1Name(), QStringLiteral("Temp"));
        QCOMPARE(device->ch2Name(), QStringLiteral("Pressure"));
        QCOMPARE(device->deviceInterface(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(device->ch1Unit(), 1);
        QCOMPARE(device->ch2Unit(), 4);
        QCOMPARE(device->ch1Custom(), QString());
        QCOMPARE(device->ch2Custom(), QStringLiteral("kPa"));
        QCOMPARE(committedLimits(*device), (QList<float>{-25.5f, -5.0f, 80.0f, 120.25f}));
        QTRY_VERIFY(dialog.isNull());
    }

    void customUnitItemIsEditableUpToElevenCharacters()
    {
        auto device = makeUsbDevice(true);
        device->setCh1Unit(4);
        device->setCh1Custom("bar");
        SensingOptionUsbDialog dialog(device.get());
        auto *unit1 = child<QComboBox>(&dialog, "comboBox_unit_ch1");
        QVERIFY(unit1->isEditable());
        QCOMPARE(unit1->currentText(), QStringLiteral("bar"));
        QCOMPARE(unit1->lineEdit()->maxLength(), 11);
        unit1->lineEdit()->selectAll();
        QTest::keyClicks(unit1->lineEdit(), "abcdefghijklmno");
        QCOMPARE(unit1->currentText(), QStringLiteral("abcdefghijk"));

        unit1->setCurrentIndex(2);
        QVERIFY(!unit1->isEditable());
        QVERIFY(!child<QComboBox>(&dialog, "comboBox_unit_ch2")->isEditable());
    }

    void choosingAnotherUnitClearsTheCustomUnit()
    {
        auto device = makeUsbDevice(true);
        device->setCh1Unit(4);
        device->setCh1Custom("bar");
        auto *dialog = new SensingOptionUsbDialog(device.get());
        child<QComboBox>(dialog, "comboBox_unit_ch1")->setCurrentIndex(0);
        clickConfirm(dialog);
        QCOMPARE(device->ch1Unit(), 0);
        QCOMPARE(device->ch1Custom(), QString());
    }

    void anEmptyDeviceNameIsReportedBeforeEmptyChannelNames()
    {
        auto device = makeUsbDevice(true);
        SensingOptionUsbDialog dialog(device.get());
        QSignalSpy confirmed(&dialog, &SensingOptionUsbDialog::sensingConfirm);
        child<QLineEdit>(&dialog, "lineEdit_devicename")->clear();
        child<QLineEdit>(&dialog, "lineEdit_ch1name")->clear();
        child<QLineEdit>(&dialog, "lineEdit_ch2name")->clear();
        setRanges(&dialog, 1, 2, 3, 4);

        const QStringList expected = {"Enter the Device Name.", "Enter the Channel-1 Name.",
                                      "Enter the Channel-2 Name."};
        const char *fields[] = {"lineEdit_devicename", "lineEdit_ch1name", "lineEdit_ch2name"};
        for (int i = 0; i < 3; ++i) {
            clickConfirm(&dialog);
            QCOMPARE(shownMessages(&dialog),
                     (QList<ShownMessage>{{"INFORMATION", expected.at(i)}}));
            closeMessages(&dialog);
            child<QLineEdit>(&dialog, fields[i])->setText("x");
        }
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(device->deviceName(), QStringLiteral("Freezer"));
        QCOMPARE(committedLimits(*device), (QList<float>{-30.0f, -10.0f, 10.0f, 90.0f}));
    }

    void aDisconnectedUsbLoggerKeepsItsRangesButTakesNamesAndUnits()
    {
        auto device = makeUsbDevice(false);
        auto *dialog = new SensingOptionUsbDialog(device.get());
        QCOMPARE(editableRanges(dialog), 0);
        child<QLineEdit>(dialog, "lineEdit_ch1name")->setText("Air");
        child<QComboBox>(dialog, "comboBox_unit_ch1")->setCurrentIndex(2);
        clickConfirm(dialog);
        QCOMPARE(device->ch1Name(), QStringLiteral("Air"));
        QCOMPARE(device->ch1Unit(), 2);
        QCOMPARE(committedLimits(*device), (QList<float>{-30.0f, -10.0f, 10.0f, 90.0f}));
    }

    void networkDialogOffersTheFiveBuzzerSettingsAndSelectsOnlyAKnownOne()
    {
        auto device = std::make_unique<ConfiguredDevice>("024B58000000", LINK_TCP);
        device->setBuzzerAlarm("AND");
        device->deviceConnected();
        SensingOptionTelnetDialog dialog(device.get());
        auto *buzzer = child<QComboBox>(&dialog, "comboBox_buzzeralarm");
        QStringList texts;
        for (int i = 0; i < buzzer->count(); ++i)
            texts.append(buzzer->itemText(i));
        QCOMPARE(texts, (QStringList{"OFF", "CH1", "CH2", "OR", "AND"}));
        QCOMPARE(buzzer->currentText(), QStringLiteral("AND"));
        QVERIFY(buzzer->isEnabled());
        QCOMPARE(child<QLabel>(&dialog, "label_macaddr")->text(), QStringLiteral("024B58000000"));

        device->setBuzzerAlarm("LOUD");
        SensingOptionTelnetDialog unknown(device.get());
        QCOMPARE(child<QComboBox>(&unknown, "comboBox_buzzeralarm")->currentIndex(), -1);
    }

    void unchangedLimitsAndBuzzerCloseWithoutTalkingToTheLogger()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Dock North");
        clickConfirm(dialog);
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(device->deviceName(), QStringLiteral("Dock North"));
        QCOMPARE(device->devicePort(), m_logger.port);
        QTRY_VERIFY(dialog.isNull());
        QTest::qWait(100);
        QCOMPARE(received(), QStringLiteral("ok "));
    }

    void changedLimitsAreSentInOrderAndAdoptedOnlyAfterTheLastOk()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        QList<float> limitsAtSuccess;
        connect(device.get(), &ConfiguredDevice::buzzerSyncSuccess, this,
                [&] { limitsAtSuccess = committedLimits(*device); });
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        setRanges(dialog, 20, 30, -10, 85.5);
        child<QComboBox>(dialog, "comboBox_buzzeralarm")->setCurrentText("OR");
        clickConfirm(dialog);

        QCOMPARE(confirmed.count(), 1);
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Progressing..."));
        QVERIFY(!button->isEnabled());
        QVERIFY(!child<QLineEdit>(dialog, "lineEdit_devicename")->isEnabled());
        QCOMPARE(editableRanges(dialog), 0);
        QCOMPARE(committedLimits(*device), (QList<float>{0.0f, 50.0f, 0.0f, 100.0f}));

        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(limitsAtSuccess, (QList<float>{0.0f, 50.0f, 0.0f, 100.0f}));
        QCOMPARE(committedLimits(*device), (QList<float>{20.0f, 30.0f, -10.0f, 85.5f}));
        QCOMPARE(device->buzzerAlarm(), QStringLiteral("OR"));
        QCOMPARE(confirmed.count(), 2);
        QCOMPARE(received(), QStringLiteral("ok ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));
    }

    void aRefusedSetupKeepsTheDialogOpenForAnotherTry()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        m_sim.command("fault tcp0 notok");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        setRanges(dialog, 1, 2, 3, 4);
        clickConfirm(dialog);

        const ShownMessage failed{"ERROR", "Device Setup Failed.\nPlease retry."};
        QTRY_COMPARE(shownMessages(dialog), QList<ShownMessage>{failed});
        QVERIFY(!dialog.isNull());
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Confirm"));
        QVERIFY(button->isEnabled());
        QCOMPARE(editableRanges(dialog), 4);
        QCOMPARE(committedLimits(*device), (QList<float>{0.0f, 50.0f, 0.0f, 100.0f}));

        // The exchange's time-out still runs out while the dialog stays open.
        const ShownMessage late{"ERROR",
                                "This command has exceeded the time limit.\nPlease retry."};
        QTRY_VERIFY_WITH_TIMEOUT(shownMessages(dialog).contains(late), 3000);
        delete dialog;
    }

    void aSilentLoggerTimesOutAfterTwoSecondsAndALateSuccessIsIgnored()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        m_sim.command("fault tcp0 noanswer");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        setRanges(dialog, 5, 6, 7, 8);
        QElapsedTimer clock;
        clock.start();
        clickConfirm(dialog);
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);

        const ShownMessage timeout{"ERROR",
                                   "This command has exceeded the time limit.\nPlease retry."};
        QTRY_VERIFY_WITH_TIMEOUT(shownMessages(dialog).contains(timeout), 3000);
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QCOMPARE(child<QPushButton>(dialog, "pushButton_confirm")->text(),
                 QStringLiteral("Confirm"));
        QVERIFY(child<QPushButton>(dialog, "pushButton_confirm")->isEnabled());

        emit device->buzzerSyncSuccess();
        QCOMPARE(committedLimits(*device), (QList<float>{0.0f, 50.0f, 0.0f, 100.0f}));
        QCOMPARE(confirmed.count(), 1);
        QVERIFY(!dialog.isNull());
        delete dialog;
    }

    void theTimeOutOfAClosedDialogLeavesTheNextExchangeAlone()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        setRanges(dialog, 11, 12, 13, 14);
        clickConfirm(dialog);
        QTRY_VERIFY(dialog.isNull());

        m_sim.command("fault tcp0 noanswer");
        device->setPendingAlarmRange(1, 2, 3, 4);
        device->startSyncTelnet();
        QTest::qWait(SensingOptionTelnetDialog::SYNC_TIMEOUT_MS + 300);
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);
        device->stopSyncTelnet();
    }

    void aLostConnectionReturnsToEditingWithNothingStaged()
    {
        auto device = makeConnectedLogger();
        QVERIFY(device->isConnected());
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QCOMPARE(m_sim.command("stop tcp0").left(2), QStringLiteral("ok"));
        for (int i = 0; i < 3 && device->isConnected(); ++i) {
            device->requestData();
            QTest::qWait(50);
        }
        QVERIFY(!device->isConnected());
        received();

        setRanges(dialog, 20, 30, -10, 85.5);
        child<QComboBox>(dialog, "comboBox_buzzeralarm")->setCurrentText("CH2");
        clickConfirm(dialog);
        const ShownMessage lost{"ERROR", "Loss of network connection.\nPlease retry."};
        QCOMPARE(shownMessages(dialog), QList<ShownMessage>{lost});
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Confirm"));
        QVERIFY(button->isEnabled());
        QCOMPARE(editableRanges(dialog), 4);
        QCOMPARE(device->pendingCh1Min(), 0.0f);
        QCOMPARE(device->pendingCh2Max(), 100.0f);
        QCOMPARE(device->pendingBuzzerAlarm(), QStringLiteral("OFF"));
        QCOMPARE(committedLimits(*device), (QList<float>{0.0f, 50.0f, 0.0f, 100.0f}));
        QCOMPARE(received(), QStringLiteral("ok "));
        delete dialog;
        QCOMPARE(m_sim.command("start tcp0").left(2), QStringLiteral("ok"));
    }

    void aMinimumAboveItsMaximumIsRefusedAndNothingIsSent_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QList<double>>("ranges");
        QTest::addColumn<QString>("message");
        const QList<double> ch1 = {30, 20, 0, 100};
        const QList<double> ch2 = {0, 50, 90.5, 90.25};
        const QString one = "The Channel-1 minimum is above its maximum.\nPlease retry.";
        const QString two = "The Channel-2 minimum is above its maximum.\nPlease retry.";
        QTest::newRow("network, channel 1") << true << ch1 << one;
        QTest::newRow("network, channel 2") << true << ch2 << two;
        QTest::newRow("usb, channel 2") << false << ch2 << two;
    }

    void aMinimumAboveItsMaximumIsRefusedAndNothingIsSent()
    {
        QFETCH(bool, network);
        QFETCH(QList<double>, ranges);
        QFETCH(QString, message);
        auto device = network ? makeConnectedLogger() : makeUsbDevice(true);
        const QList<float> before = committedLimits(*device);
        std::unique_ptr<QDialog> dialog;
        if (network)
            dialog.reset(new SensingOptionTelnetDialog(device.get()));
        else
            dialog.reset(new SensingOptionUsbDialog(device.get()));
        QSignalSpy confirmed(dialog.get(), SIGNAL(sensingConfirm()));
        child<QLineEdit>(dialog.get(), "lineEdit_devicename")->setText("Renamed");
        setRanges(dialog.get(), ranges[0], ranges[1], ranges[2], ranges[3]);
        clickConfirm(dialog.get());
        QCOMPARE(shownMessages(dialog.get()), (QList<ShownMessage>{{"ERROR", message}}));
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(committedLimits(*device), before);
        QVERIFY(device->deviceName() != QStringLiteral("Renamed"));
        QCOMPARE(device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QTest::qWait(100);
        QCOMPARE(received(), QStringLiteral("ok "));
        closeMessages(dialog.get());
    }

    void aDisconnectedNetworkLoggerTakesNamesAndUnitsWithoutTraffic()
    {
        auto device = std::make_unique<ConfiguredDevice>(m_logger.deviceNumber, LINK_TCP);
        device->setConnection("Dock", "Temp", "Hum", m_logger.address, m_logger.port);
        device->setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        received();
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QCOMPARE(editableRanges(dialog), 0);
        QVERIFY(!child<QComboBox>(dialog, "comboBox_buzzeralarm")->isEnabled());
        child<QLineEdit>(dialog, "lineEdit_ch2name")->setText("RH");
        child<QComboBox>(dialog, "comboBox_unit_ch2")->setCurrentIndex(3);
        clickConfirm(dialog);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device->ch2Name(), QStringLiteral("RH"));
        QCOMPARE(device->ch2Unit(), 3);
        QTest::qWait(100);
        QCOMPARE(received(), QStringLiteral("ok "));
    }
};

QTEST_MAIN(SensingOptionTest)
#include "tst_sensingoption.moc"
