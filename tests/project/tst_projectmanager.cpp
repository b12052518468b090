#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/projectmanager.h"
#include "tests/support/messageprobe.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <vector>

namespace {
const ShownMessage FULL_DASHBOARD{"ERROR", "cannot add more than 16 devices to the dashboard."};

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(24, 24).toImage();
}
} // namespace

class ProjectManagerTest : public QObject
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<AvailableDevice>> m_available;
    std::vector<std::unique_ptr<ConfiguredDevice>> m_projectDevices;
    std::unique_ptr<ProjectManager> m_panel;

    AvailableDevice *addUsb(int index)
    {
        auto device = std::make_unique<AvailableDevice>();
        device->id = QStringLiteral("KX%1").arg(index, 4, 10, QLatin1Char('0'));
        device->address = QStringLiteral("/dev/ttyACM%1").arg(index);
        device->kind = LINK_SERIAL;
        m_available.push_back(std::move(device));
        return m_available.back().get();
    }
    AvailableDevice *addTcp(int index, quint16 port = 23)
    {
        auto device = std::make_unique<AvailableDevice>();
        device->id = QStringLiteral("024B5800%1").arg(index, 4, 16, QLatin1Char('0')).toUpper();
        device->address = QStringLiteral("10.0.%1.%2").arg(index / 200).arg(index % 200 + 1);
        device->port = port;
        device->kind = LINK_TCP;
        m_available.push_back(std::move(device));
        return m_available.back().get();
    }
    QList<AvailableDevice *> available() const
    {
        QList<AvailableDevice *> list;
        for (const auto &device : m_available)
            list.append(device.get());
        return list;
    }
    ConfiguredDevice *addProjectDevice(const QString &id, int dashboard, const QString &name)
    {
        m_projectDevices.push_back(std::make_unique<ConfiguredDevice>(id, LINK_TCP));
        ConfiguredDevice *device = m_projectDevices.back().get();
        device->setConnection(name, "Temp", "Hum", "127.0.0.1", 2323);
        device->setDashboardNumber(dashboard);
        return device;
    }
    QList<ConfiguredDevice *> projectDevices() const
    {
        QList<ConfiguredDevice *> list;
        for (const auto &device : m_projectDevices)
            list.append(device.get());
        return list;
    }

    QListWidget *availList() const { return m_panel->findChild<QListWidget *>("availlable_list"); }
    QListWidget *dashboard(int index) const
    {
        return m_panel->findChild<QListWidget *>(
            QStringLiteral("configured_list_%1").arg(index + 1));
    }
    QPushButton *button(const char *name) const { return m_panel->findChild<QPushButton *>(name); }
    void selectTab(int index)
    {
        m_panel->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(index);
    }
    QStringList ids(const QListWidget *list) const
    {
        QStringList result;
        for (int row = 0; row < list->count(); ++row)
            result.append(list->item(row)->toolTip());
        return result;
    }
    void doubleClick(QListWidgetItem *item)
    {
        QListWidget *list = item->listWidget();
        list->scrollToItem(item);
        list->doItemsLayout();
        const QPoint centre = list->visualItemRect(item).center();
        // The sequence a real double click delivers: the view acts only on the index it saw
        // pressed.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, centre);
    }
    // Places the first n available entries on the current dashboard, as double clicks do.
    void place(int n)
    {
        for (int i = 0; i < n; ++i)
            m_panel->slotDblProjectAddDevice(availList()->item(0));
    }

    QList<ConfiguredDevice *> confirm(QStringList *names = nullptr)
    {
        QSignalSpy spy(m_panel.get(), &ProjectManager::projectListConfirm);
        QTest::mouseClick(button("btn_confirm"), Qt::LeftButton);
        if (spy.count() != 1)
            return {};
        if (names)
            *names = spy.at(0).at(1).toStringList();
        return spy.at(0).at(0).value<QList<ConfiguredDevice *>>();
    }

private slots:
    void init()
    {
        m_panel = std::make_unique<ProjectManager>();
        m_panel->resize(1000, 640);
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    }
    void cleanup()
    {
        m_panel.reset();
        m_projectDevices.clear();
        m_available.clear();
    }

    void availableEntriesShowIdAddressPortAndLinkIcon()
    {
        addUsb(1);
        addTcp(1, 2323);
        m_panel->setAvailDeviceList(available());
        QCOMPARE(availList()->count(), 2);
        QCOMPARE(availList()->item(0)->text(), QStringLiteral("KX0001\t[/dev/ttyACM1]"));
        QCOMPARE(availList()->item(0)->toolTip(), QStringLiteral("KX0001"));
        QCOMPARE(availList()->item(1)->text(), QStringLiteral("024B58000001\t[10.0.0.2:2323]"));
        QCOMPARE(availList()->item(1)->toolTip(), QStringLiteral("024B58000001"));
        QCOMPARE(iconImage(availList()->item(0)->icon()), iconImage(QIcon(":/img/icon_usb.png")));
        QCOMPARE(iconImage(availList()->item(1)->icon()), iconImage(QIcon(":/img/icon_lan.png")));
    }

    void addingThreeToADashboardHolding14MovesTwoAndWarnsOnce()
    {
        for (int i = 0; i < 17; ++i)
            addTcp(i);
        m_panel->setAvailDeviceList(available());
        place(14);
        QVERIFY(shownMessages(m_panel.get()).isEmpty());
        for (int row = 0; row < 3; ++row)
            availList()->item(row)->setSelected(true);
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);

        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(ids(availList()), QStringList{m_available[16]->id});
        QCOMPARE(ids(dashboard(0)).mid(14),
                 (QStringList{m_available[14]->id, m_available[15]->id}));
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{FULL_DASHBOARD});
    }

    void addingToAFullDashboardMovesNothing()
    {
        for (int i = 0; i < 17; ++i)
            addTcp(i);
        m_panel->setAvailDeviceList(available());
        place(16);
        availList()->item(0)->setSelected(true);
        m_panel->slotProjectAddDevice();
        QCOMPARE(availList()->count(), 1);
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{FULL_DASHBOARD});
    }

    void doubleClickFillsThe16thPlaceSilentlyAndRefusesThe17th()
    {
        for (int i = 0; i < 17; ++i)
            addUsb(i);
        m_panel->setAvailDeviceList(available());
        place(15);
        doubleClick(availList()->item(0));
        QCOMPARE(dashboard(0)->count(), 16);
        QVERIFY(shownMessages(m_panel.get()).isEmpty());

        doubleClick(availList()->item(0));
        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(availList()->count(), 1);
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{FULL_DASHBOARD});
    }

    void the64thLoggerDisablesAddingAndARemovalEnablesIt()
    {
        for (int i = 0; i < 64; ++i)
            addTcp(i);
        m_panel->setAvailDeviceList(available());
        for (int d = 0; d < 4; ++d) {
            selectTab(d);
            place(d == 3 ? 15 : 16);
        }
        QVERIFY(button("btn_add")->isEnabled());
        QVERIFY(button("btn_manual")->isEnabled());
        doubleClick(availList()->item(0));
        QCOMPARE(availList()->count(), 0);
        QVERIFY(!button("btn_add")->isEnabled());
        QVERIFY(!button("btn_manual")->isEnabled());

        selectTab(1);
        dashboard(1)->item(5)->setSelected(true);
        QTest::mouseClick(button("btn_remove"), Qt::LeftButton);
        QCOMPARE(dashboard(1)->count(), 15);
        QVERIFY(button("btn_add")->isEnabled());
        QVERIFY(button("btn_manual")->isEnabled());
    }

    void removingADiscoveredLoggerReturnsItToTheEndOfTheAvailableList()
    {
        for (int i = 0; i < 3; ++i)
            addUsb(i);
        m_panel->setAvailDeviceList(available());
        place(1);
        m_panel->slotProjectRemoveDevice(); // nothing selected: nothing moves
        QCOMPARE(dashboard(0)->count(), 1);
        dashboard(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QCOMPARE(dashboard(0)->count(), 0);
        QCOMPARE(ids(availList()), (QStringList{"KX0001", "KX0002", "KX0000"}));
    }

    void removingAManualLoggerUnknownToDiscoveryDropsIt()
    {
        addUsb(1);
        m_panel->setAvailDeviceList(available());
        QPointer<ConfiguredDevice> manual = new ConfiguredDevice("024B58AABBCC", LINK_TCP);
        manual->setConnection("Cellar", "CH1", "CH2", "127.0.0.1", 2323);
        m_panel->slotManualConfigDevice(manual);
        QCOMPARE(dashboard(0)->item(0)->text(), QStringLiteral("Cellar\t[127.0.0.1:2323]"));
        QCOMPARE(iconImage(dashboard(0)->item(0)->icon()), iconImage(QIcon(":/img/icon_lan.png")));

        dashboard(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QCOMPARE(dashboard(0)->count(), 0);
        QCOMPARE(ids(availList()), QStringList{"KX0001"});
        QVERIFY(manual.isNull());
    }

    void confirmWithNothingPlacedAsksForADevice()
    {
        addUsb(1);
        m_panel->setAvailDeviceList(available());
        QCOMPARE(confirm(), QList<ConfiguredDevice *>());
        const ShownMessage expected{
            "INFORMATION", "You must add at least one device to the dashboard.\nPlease retry."};
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{expected});
    }

    void confirmBuildsDiscoveredLoggersNamedByIdWithDefaultChannels()
    {
        addUsb(7);
        addTcp(3, 2323);
        m_panel->setAvailDeviceList(available());
        selectTab(2);
        place(1);
        selectTab(0);
        place(1);
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_2")->clear();
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_4")->setText("Cold room");

        QStringList names;
        const QList<ConfiguredDevice *> devices = confirm(&names);
        QCOMPARE(devices.size(), 2);
        std::unique_ptr<ConfiguredDevice> tcp(devices.at(0));
        std::unique_ptr<ConfiguredDevice> usb(devices.at(1));
        QCOMPARE(names, (QStringList{"Dashboard 1", "", "Dashboard 3", "Cold room"}));

        QCOMPARE(tcp->deviceNumber(), QStringLiteral("024B58000003"));
        QCOMPARE(tcp->deviceName(), QStringLiteral("024B58000003"));
        QCOMPARE(tcp->linkType(), LINK_TCP);
        QCOMPARE(tcp->deviceInterface(), QStringLiteral("10.0.0.4"));
        QCOMPARE(tcp->devicePort(), quint16(2323));
        QCOMPARE(tcp->dashboardNumber(), 0);
        QCOMPARE(usb->deviceName(), QStringLiteral("KX0007"));
        QCOMPARE(usb->ch1Name(), QStringLiteral("CH1"));
        QCOMPARE(usb->ch2Name(), QStringLiteral("CH2"));
        QCOMPARE(usb->linkType(), LINK_SERIAL);
        QCOMPARE(usb->deviceInterface(), QStringLiteral("/dev/ttyACM7"));
        QCOMPARE(usb->dashboardNumber(), 2);
    }

    void editModeShowsProjectDevicesByNameAndHidesOnesOffTheDashboards()
    {
        ConfiguredDevice *kept = addProjectDevice("024B58000001", 1, "Freezer");
        addProjectDevice("024B58000002", 4, "Lost");
        ConfiguredDevice *unnamed = addProjectDevice("024B58000003", 0, "");
        addTcp(1);
        addTcp(2);
        addTcp(9);
        m_panel->setIntervalDisabled(true);
        m_panel->setConfiguredDeviceList(projectDevices());
        m_panel->setAvailDeviceList(available());
        m_panel->setDashboardNames({"North", "South"});

        QCOMPARE(dashboard(1)->item(0)->text(), QStringLiteral("Freezer\t[127.0.0.1:2323]"));
        QCOMPARE(dashboard(0)->item(0)->text(), QStringLiteral("024B58000003\t[127.0.0.1:2323]"));
        QCOMPARE(ids(availList()), (QStringList{"024B58000002", "024B58000009"}));
        QVERIFY(!button("btn_timeInterval")->isEnabled());

        // The tabs carry the names as they are typed; an emptied name shows the number.
        auto *tabs = m_panel->findChild<QTabWidget *>("tabWidget");
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_3")->setText("Dock");
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_4")->clear();
        QCOMPARE(
            (QStringList{tabs->tabText(0), tabs->tabText(1), tabs->tabText(2), tabs->tabText(3)}),
            (QStringList{"North", "South", "Dock", "Dashboard 4"}));

        QStringList names;
        const QList<ConfiguredDevice *> devices = confirm(&names);
        QCOMPARE(devices, (QList<ConfiguredDevice *>{unnamed, kept}));
        QCOMPARE(names, (QStringList{"North", "South", "Dock", ""}));
    }

    void editModeSkipsDevicesBeyondSixteenOnADashboardAndWarnsAt64()
    {
        for (int i = 0; i < 64; ++i)
            addProjectDevice(QStringLiteral("ID%1").arg(i), i < 17 ? 0 : 1 + (i % 3), "");
        m_panel->setConfiguredDeviceList(projectDevices());
        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(ids(dashboard(0)).last(), QStringLiteral("ID15"));
        const ShownMessage expected{"ERROR", "cannot add more than 64 devices."};
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{expected});
    }

    void intervalMenuOffersSixIntervalsAndSetsTheChosenOne()
    {
        QMenu *menu = m_panel->intervalMenu();
        QCOMPARE(menu->title(), QStringLiteral("Interval"));
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->text());
        QCOMPARE(texts, (QStringList{"1 sec", "5 sec", "10 sec", "1 min", "5 min", "10 min"}));
        QVERIFY(menu->actions().at(2)->isChecked());
        QCOMPARE(m_panel->findChild<QLabel *>("label_interval")->text(), QStringLiteral("10 sec"));

        QSignalSpy changes(m_panel.get(), &ProjectManager::pollIntervalChanged);
        menu->actions().at(3)->trigger();
        QCOMPARE(m_panel->pollInterval(), 60000);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toInt(), 60000);
        QCOMPARE(m_panel->findChild<QLabel *>("label_interval")->text(), QStringLiteral("1 min"));
        int checked = 0;
        for (QAction *action : menu->actions())
            checked += action->isChecked() ? 1 : 0;
        QCOMPARE(checked, 1);
        QVERIFY(menu->actions().at(3)->isChecked());
    }

    void anIntervalOutsideTheSixChecksNothing()
    {
        ProjectManager panel;
        panel.setPollInterval(2000);
        for (QAction *action : panel.intervalMenu()->actions())
            QVERIFY(!action->isChecked());
        QCOMPARE(panel.findChild<QLabel *>("label_interval")->text(), QString());
    }

    void refreshAsksForANewSearch()
    {
        QSignalSpy refresh(m_panel.get(), &ProjectManager::refreshAvailDeviceList);
        QTest::mouseClick(button("pushButton_refresh"), Qt::LeftButton);
        QCOMPARE(refresh.count(), 1);
    }

    void aManualLoggerAlreadyOnADashboardIsRefused()
    {
        addTcp(1);
        m_panel->setAvailDeviceList(available());
        place(1);
        QPointer<ConfiguredDevice> manual = new ConfiguredDevice("024B58000001", LINK_TCP);
        m_panel->slotManualConfigDevice(manual);
        QCOMPARE(ids(dashboard(0)), QStringList{"024B58000001"});
        const ShownMessage expected{"ERROR", "the mac address already exists."};
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{expected});
        QVERIFY(manual.isNull());
    }

    void aManualLoggerSeenByDiscoveryTakesTheDiscoveredEntrysPlace()
    {
        addTcp(1);
        addTcp(2);
        m_panel->setAvailDeviceList(available());
        selectTab(3);
        auto *manual = new ConfiguredDevice("024B58000002", LINK_TCP);
        manual->setConnection("Dock", "CH1", "CH2", "127.0.0.1", 2323);
        m_panel->slotManualConfigDevice(manual);
        QCOMPARE(ids(availList()), QStringList{"024B58000001"});
        QCOMPARE(ids(dashboard(3)), QStringList{"024B58000002"});

        // A new discovery result does not bring the placed logger back.
        m_panel->setAvailDeviceList(available());
        QCOMPARE(ids(availList()), QStringList{"024B58000001"});

        const QList<ConfiguredDevice *> devices = confirm();
        QCOMPARE(devices, QList<ConfiguredDevice *>{manual});
        QCOMPARE(manual->dashboardNumber(), 3);
        delete manual;
    }

    void removingAManualLoggerSeenByDiscoveryReturnsTheDiscoveredEntry()
    {
        addTcp(2);
        m_panel->setAvailDeviceList(available());
        QPointer<ConfiguredDevice> manual = new ConfiguredDevice("024B58000002", LINK_TCP);
        manual->setConnection("Dock", "CH1", "CH2", "127.0.0.1", 2323);
        m_panel->slotManualConfigDevice(manual);
        dashboard(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QVERIFY(manual.isNull());
        QCOMPARE(availList()->count(), 1);
        QCOMPARE(availList()->item(0)->text(), QStringLiteral("024B58000002\t[10.0.0.3:23]"));
    }

    void aManualLoggerOnAFullDashboardIsRefused()
    {
        for (int i = 0; i < 16; ++i)
            addTcp(i);
        m_panel->setAvailDeviceList(available());
        place(16);
        QPointer<ConfiguredDevice> manual = new ConfiguredDevice("024B58AABBCC", LINK_TCP);
        m_panel->slotManualConfigDevice(manual);
        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(shownMessages(m_panel.get()), QList<ShownMessage>{FULL_DASHBOARD});
        QVERIFY(manual.isNull());
    }

    void anUnconfirmedManualLoggerGoesWithThePanel()
    {
        QPointer<ConfiguredDevice> manual = new ConfiguredDevice("024B58AABBCC", LINK_TCP);
        m_panel->slotManualConfigDevice(manual);
        m_panel.reset();
        QVERIFY(manual.isNull());
    }
};

QTEST_MAIN(ProjectManagerTest)
#include "tst_projectmanager.moc"
