#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/ipaddrspinbox.h"
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
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {
QList<int> octets(const QObject *dialog)
{
    QList<int> values;
    for (const char *name : {"spinBox_ipaddr1", "spinBox_ipaddr2", "spinBox_ipaddr3",
                             "spinBox_ipaddr4", "spinBox_port"})
        values.append(child<QSpinBox>(dialog, name)->value());
    return values;
}

void setAddress(const QObject *dialog, const QList<int> &values)
{
    const char *names[] = {"spinBox_ipaddr1", "spinBox_ipaddr2", "spinBox_ipaddr3",
                           "spinBox_ipaddr4", "spinBox_port"};
    for (int i = 0; i < values.size(); ++i)
        child<QSpinBox>(dialog, names[i])->setValue(values.at(i));
}

} // namespace

class NetworkDialogsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ManualConfigDeviceDialog> m_dialog;

    void showDialog()
    {
        m_dialog->show();
        m_dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }
    void clickConfirm()
    {
        QTest::mouseClick(child<QPushButton>(m_dialog.get(), "pushButton_confirm"), Qt::LeftButton);
    }
    ShownMessage onlyMessage()
    {
        const QList<ShownMessage> messages = shownMessages(m_dialog.get());
        closeMessages(m_dialog.get());
        return messages.size() == 1 ? messages.first()
                                    : ShownMessage{"count", QString::number(messages.size())};
    }

private slots:
    void init() { m_dialog = std::make_unique<ManualConfigDeviceDialog>(); }
    void cleanup()
    {
        if (m_dialog)
            closeMessages(m_dialog.get());
        m_dialog.reset();
    }

    void manualEntryStartsWithTheDefaultAddressAndPort()
    {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Velmoran Lite"));
        QCOMPARE(octets(m_dialog.get()), (QList<int>{192, 168, 1, 2, 23}));
        auto *mac = child<QLineEdit>(m_dialog.get(), "lineEdit_macaddr");
        QCOMPARE(mac->inputMask(), QStringLiteral("HH:HH:HH:HH:HH:HH;_"));
        QVERIFY(child<QLineEdit>(m_dialog.get(), "lineEdit_devicename")->text().isEmpty());
        QCOMPARE(child<QSpinBox>(m_dialog.get(), "spinBox_ipaddr1")->maximum(), 255);
        QCOMPARE(child<QSpinBox>(m_dialog.get(), "spinBox_port")->maximum(), 65535);
    }

    void manualEntryChecksNameThenMacThenPort()
    {
        QSignalSpy confirmed(m_dialog.get(), &ManualConfigDeviceDialog::ManualConfigDeviceConfirm);
        setAddress(m_dialog.get(), {127, 0, 0, 1, 0});
        clickConfirm();
        QCOMPARE(onlyMessage(), (ShownMessage{"INFORMATION", "Enter the Device Name."}));

        QTest::keyClicks(child<QLineEdit>(m_dialog.get(), "lineEdit_devicename"), "Dock");
        clickConfirm();
        QCOMPARE(onlyMessage(), (ShownMessage{"INFORMATION", "Enter the Mac Address."}));

        auto *mac = child<QLineEdit>(m_dialog.get(), "lineEdit_macaddr");
        mac->setFocus();
        mac->home(false);
        QTest::keyClicks(mac, "001A2B");
        QCOMPARE(mac->text(), QStringLiteral("00:1A:2B:::"));
        clickConfirm();
        QCOMPARE(onlyMessage(),
                 (ShownMessage{"INFORMATION", "Enter all 12 digits of the Mac Address."}));

        QTest::keyClicks(mac, "3C4D5E");
        clickConfirm();
        QCOMPARE(onlyMessage(), (ShownMessage{"INFORMATION", "Enter the port number."}));
        QCOMPARE(confirmed.count(), 0);
    }

    void typingDotsMovesThroughTheFourOctetsIntoThePort()
    {
        showDialog();
        auto *first = child<QSpinBox>(m_dialog.get(), "spinBox_ipaddr1");
        first->setFocus();
        QTest::keyClick(first, '.');
        auto *second = child<QSpinBox>(m_dialog.get(), "spinBox_ipaddr2");
        QCOMPARE(QApplication::focusWidget(), second);
        QCOMPARE(second->findChild<QLineEdit *>()->selectedText(), QStringLiteral("168"));
        QCOMPARE(first->value(), 192);

        first->setFocus();
        first->selectAll();
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "10.0.0.5");
        QCOMPARE(octets(m_dialog.get()), (QList<int>{10, 0, 0, 5, 23}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(m_dialog.get(), "spinBox_ipaddr4"));

        QTest::keyClick(static_cast<QWidget *>(nullptr), '.');
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(m_dialog.get(), "spinBox_port"));
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "2323.");
        QCOMPARE(octets(m_dialog.get()), (QList<int>{10, 0, 0, 5, 2323}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(m_dialog.get(), "spinBox_port"));
    }

    void manualEntryOpensTheLoggerAndHandsItOnWithAnUpperCaseMac()
    {
        const QString typed = "024b5800aa0f";
        QTcpServer logger;
        QVERIFY(logger.listen(QHostAddress::LocalHost));
        QPointer<ManualConfigDeviceDialog> dialog = m_dialog.release();
        QTest::keyClicks(child<QLineEdit>(dialog, "lineEdit_devicename"), "Dock 2");
        auto *mac = child<QLineEdit>(dialog, "lineEdit_macaddr");
        mac->setFocus();
        mac->home(false);
        QTest::keyClicks(mac, typed);
        setAddress(dialog, {127, 0, 0, 1, logger.serverPort()});

        QSignalSpy confirmed(dialog, &ManualConfigDeviceDialog::ManualConfigDeviceConfirm);
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
        QCOMPARE(confirmed.count(), 1);
        std::unique_ptr<ConfiguredDevice> device(confirmed.at(0).at(0).value<ConfiguredDevice *>());
        QCOMPARE(device->deviceNumber(), QStringLiteral("024B5800AA0F"));
        QCOMPARE(device->deviceName(), QStringLiteral("Dock 2"));
        QCOMPARE(device->ch1Name(), QStringLiteral("CH1"));
        QCOMPARE(device->ch2Name(), QStringLiteral("CH2"));
        QCOMPARE(device->deviceInterface(), QStringLiteral("127.0.0.1"));
        QCOMPARE(device->devicePort(), logger.serverPort());
        QCOMPARE(device->linkType(), LINK_TCP);
        QTRY_VERIFY(logger.hasPendingConnections());
        QTRY_VERIFY(dialog.isNull());
    }

    void networkInformationShowsTheDeviceAddressAndPortAndCloseDeletesIt()
    {
        ConfiguredDevice device("024B58000001", LINK_TCP);
        device.setConnection("Dock", "CH1", "CH2", "10.1.2.3", 2323);
        QPointer<NetworkSettingDialog> dialog = new NetworkSettingDialog(&device);
        QCOMPARE(dialog->size(), QSize(500, 220));
        QCOMPARE(child<QLabel>(dialog, "label_ipaddr")->text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(child<QLabel>(dialog, "label_port")->text(), QStringLiteral("2323"));
        device.setConnection("Dock", "CH1", "CH2", "10.9.9.9", 23);
        QCOMPARE(child<QLabel>(dialog, "label_ipaddr")->text(), QStringLiteral("10.1.2.3"));
        dialog->show();
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
    }

    void aManualEntryDismissedWithoutConfirmingIsFreed()
    {
        ProjectManager panel;
        panel.show();
        QTest::mouseClick(child<QPushButton>(&panel, "btn_manual"), Qt::LeftButton);
        QPointer<ManualConfigDeviceDialog> dialog = panel.findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog);
        dialog->reject();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(panel.findChild<QListWidget *>("configured_list_1")->count(), 0);
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
        QTest::mouseClick(child<QPushButton>(&panel, "btn_manual"), Qt::LeftButton);
        QPointer<ManualConfigDeviceDialog> dialog = panel.findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QTest::keyClicks(child<QLineEdit>(dialog, "lineEdit_devicename"), "Sim");
        auto *mac = child<QLineEdit>(dialog, "lineEdit_macaddr");
        mac->setFocus();
        mac->home(false);
        QTest::keyClicks(mac, simLogger.deviceNumber.toLower());
        setAddress(dialog, {127, 0, 0, 1, simLogger.port});
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());

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

        device->requestData();
        QTRY_VERIFY(device->isConnected());
        QVERIFY(sim.command("received tcp0").contains("ATDC"));
        // The device closes its connection after the answer; nothing else holds one open.
        QTRY_COMPARE(sim.command("connections tcp0"), QStringLiteral("ok 0"));
    }
};

QTEST_MAIN(NetworkDialogsTest)
#include "tst_networkdialogs.moc"
