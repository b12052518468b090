#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/manualconfigdevicedialog.h"
#include "project/networksettingdialog.h"
#include "project/projectmanager.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgetfinder.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const char *const ADDRESS_BOXES[] = {"spinBox_ipaddr1", "spinBox_ipaddr2", "spinBox_ipaddr3",
                                     "spinBox_ipaddr4", "spinBox_port"};

QList<int> octets(const QObject *dialog)
{
    QList<int> values;
    for (const char *name : ADDRESS_BOXES)
        values.append(child<QSpinBox>(dialog, name)->value());
    return values;
}

void setAddress(const QObject *dialog, const QList<int> &values)
{
    for (int i = 0; i < values.size(); ++i)
        child<QSpinBox>(dialog, ADDRESS_BOXES[i])->setValue(values.at(i));
}

void typeMac(const QObject *dialog, const QString &digits)
{
    auto *mac = child<QLineEdit>(dialog, "lineEdit_macaddr");
    mac->setFocus();
    mac->home(false);
    QTest::keyClicks(mac, digits);
}
} // namespace

class NetworkDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    // Each message closes itself 5 s after it appeared, or at once by its button, and is freed.
    void manualEntryChecksNameThenMacThenPortInTimedMessages()
    {
        ManualConfigDeviceDialog dialog;
        QSignalSpy confirmed(&dialog, &ManualConfigDeviceDialog::ManualConfigDeviceConfirm);
        QCOMPARE(octets(&dialog), (QList<int>{192, 168, 1, 2, 23}));
        setAddress(&dialog, {127, 0, 0, 1, 0});
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton_confirm"), Qt::LeftButton);
        QCOMPARE(shownMessages(&dialog),
                 (QList<ShownMessage>{{"INFORMATION", "Enter the Device Name."}}));
        QPointer<MessageDialog> message = dialog.findChild<MessageDialog *>();
        const auto *lifetime = message->findChild<QTimer *>();
        QVERIFY(lifetime && lifetime->isActive() && lifetime->isSingleShot());
        QCOMPARE(lifetime->interval(), 5000);
        QTest::mouseClick(child<QPushButton>(message, "pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(message.isNull());

        QTest::keyClicks(child<QLineEdit>(&dialog, "lineEdit_devicename"), "Dock");
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton_confirm"), Qt::LeftButton);
        QCOMPARE(shownMessages(&dialog),
                 (QList<ShownMessage>{{"INFORMATION", "Enter the Mac Address."}}));
        message = dialog.findChild<MessageDialog *>();
        message->findChild<QTimer *>()->start(0);
        QTRY_VERIFY(message.isNull());

        typeMac(&dialog, "001A2B");
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_macaddr")->text(),
                 QStringLiteral("00:1A:2B:::"));
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton_confirm"), Qt::LeftButton);
        QTest::keyClicks(child<QLineEdit>(&dialog, "lineEdit_macaddr"), "3C4D5E");
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButton_confirm"), Qt::LeftButton);
        QCOMPARE(shownMessages(&dialog),
                 (QList<ShownMessage>{{"INFORMATION", "Enter all 12 digits of the Mac Address."},
                                      {"INFORMATION", "Enter the port number."}}));
        QCOMPARE(confirmed.count(), 0);
    }

    void typingDotsMovesThroughTheFourOctetsIntoThePort()
    {
        ManualConfigDeviceDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *first = child<QSpinBox>(&dialog, "spinBox_ipaddr1");
        first->setFocus();
        QTest::keyClick(first, '.');
        auto *second = child<QSpinBox>(&dialog, "spinBox_ipaddr2");
        QCOMPARE(QApplication::focusWidget(), second);
        QCOMPARE(second->findChild<QLineEdit *>()->selectedText(), QStringLiteral("168"));
        QCOMPARE(first->value(), 192);

        first->setFocus();
        first->selectAll();
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "10.0.0.5");
        QCOMPARE(octets(&dialog), (QList<int>{10, 0, 0, 5, 23}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(&dialog, "spinBox_ipaddr4"));
        QTest::keyClick(static_cast<QWidget *>(nullptr), '.');
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(&dialog, "spinBox_port"));
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "2323.");
        QCOMPARE(octets(&dialog), (QList<int>{10, 0, 0, 5, 2323}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(&dialog, "spinBox_port"));
    }

    void networkInformationShowsTheAddressItWasOpenedWithAndCloseDeletesIt()
    {
        ConfiguredDevice device("024B58000001", LINK_TCP);
        device.setConnection("Dock", "CH1", "CH2", "10.1.2.3", 2323);
        QPointer<NetworkSettingDialog> dialog = new NetworkSettingDialog(&device);
        device.setConnection("Dock", "CH1", "CH2", "10.9.9.9", 23);
        QCOMPARE(child<QLabel>(dialog, "label_ipaddr")->text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(child<QLabel>(dialog, "label_port")->text(), QStringLiteral("2323"));
        dialog->show();
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
    }

    // A logger of the project that no dashboard shows, typed in again at a new address, is
    // the same logger: the project's device takes the address, the hand-made one goes.
    void aManuallyEnteredSimulatorLoggerIsConfirmedAndAnswers_data()
    {
        QTest::addColumn<bool>("inProject");
        QTest::newRow("new logger") << false;
        QTest::newRow("project logger off the dashboards") << true;
    }

    void aManuallyEnteredSimulatorLoggerIsConfirmedAndAnswers()
    {
        QFETCH(bool, inProject);
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        const SimProcess::Logger simLogger = sim.logger("tcp0");
        QVERIFY(simLogger.port != 0);

        ProjectManager panel;
        std::unique_ptr<ConfiguredDevice> known;
        if (inProject) {
            known = std::make_unique<ConfiguredDevice>(simLogger.deviceNumber, LINK_TCP);
            known->setConnection("Old", "Temp", "Hum", "127.0.0.1", 1);
            known->setDashboardNumber(4);
            panel.setConfiguredDeviceList({known.get()});
        }
        panel.show();
        // A dismissed entry is freed.
        QTest::mouseClick(child<QPushButton>(&panel, "btn_manual"), Qt::LeftButton);
        QPointer<ManualConfigDeviceDialog> dialog = panel.findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog);
        dialog->reject();
        QTRY_VERIFY(dialog.isNull());

        QTest::mouseClick(child<QPushButton>(&panel, "btn_manual"), Qt::LeftButton);
        dialog = panel.findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QTest::keyClicks(child<QLineEdit>(dialog, "lineEdit_devicename"), "Sim");
        typeMac(dialog, simLogger.deviceNumber.toLower());
        setAddress(dialog, {127, 0, 0, 1, simLogger.port});
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
        // The entry opens its logger; a project's device that takes its place drops it.
        QTRY_COMPARE(sim.command("connections tcp0"), inProject ? "ok 0" : "ok 1");

        auto *placed = child<QListWidget>(&panel, "configured_list_1");
        QCOMPARE(placed->count(), 1);
        QCOMPARE(placed->item(0)->text(),
                 QStringLiteral("Sim\t[127.0.0.1:%1]").arg(simLogger.port));

        QSignalSpy confirmed(&panel, &ProjectManager::projectListConfirm);
        QTest::mouseClick(child<QPushButton>(&panel, "btn_confirm"), Qt::LeftButton);
        QCOMPARE(confirmed.count(), 1);
        const auto devices = confirmed.at(0).at(0).value<QList<ConfiguredDevice *>>();
        QCOMPARE(devices.size(), 1);
        ConfiguredDevice *device = devices.first();
        std::unique_ptr<ConfiguredDevice> handMade(inProject ? nullptr : device);
        if (inProject)
            QCOMPARE(device, known.get());
        QCOMPARE(device->deviceNumber(), simLogger.deviceNumber);
        QCOMPARE(device->dashboardNumber(), 0);
        QCOMPARE(device->ch2Name(), inProject ? QStringLiteral("Hum") : QStringLiteral("CH2"));

        device->requestData();
        QTRY_VERIFY(device->isConnected());
        QVERIFY(sim.command("received tcp0").contains("ATDC"));
        // The device closes its connection after the answer; nothing else holds one open.
        QTRY_COMPARE(sim.command("connections tcp0"), QStringLiteral("ok 0"));
    }
};

QTEST_MAIN(NetworkDialogsTest)
#include "tst_networkdialogs.moc"
