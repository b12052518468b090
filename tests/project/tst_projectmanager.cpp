#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/projectmanager.h"
#include "tests/support/devicefactory.h"
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
}

class ProjectManagerTest : public QObject
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<AvailableDevice>> m_available;
    DeviceFactory m_projectDevices;
    std::unique_ptr<ProjectManager> m_panel;

    // Discovered loggers: USB "KX0007" on /dev/ttyACM7, network "024B58000007" at 10.0.0.8.
    void discover(int index, int kind, quint16 port = 23)
    {
        auto device = std::make_unique<AvailableDevice>();
        device->kind = kind;
        device->port = port;
        if (kind == LINK_SERIAL) {
            device->id = QStringLiteral("KX%1").arg(index, 4, 10, QLatin1Char('0'));
            device->address = QStringLiteral("/dev/ttyACM%1").arg(index);
        } else {
            device->id = QStringLiteral("024B5800%1").arg(index, 4, 16, QLatin1Char('0')).toUpper();
            device->address = QStringLiteral("10.0.%1.%2").arg(index / 200).arg(index % 200 + 1);
        }
        m_available.push_back(std::move(device));
    }
    void showDiscovered()
    {
        QList<AvailableDevice *> list;
        for (const auto &device : m_available)
            list.append(device.get());
        m_panel->setAvailDeviceList(list);
    }
    QPointer<ConfiguredDevice> manual(const QString &id)
    {
        QPointer<ConfiguredDevice> device = new ConfiguredDevice(id, LINK_TCP);
        device->setConnection("Dock", "CH1", "CH2", "127.0.0.1", 2323);
        m_panel->slotManualConfigDevice(device);
        return device;
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
    static QStringList ids(const QListWidget *list)
    {
        QStringList result;
        for (int row = 0; row < list->count(); ++row)
            result.append(list->item(row)->toolTip());
        return result;
    }
    // The sequence a real double click delivers: the view acts only on the index it saw pressed.
    static void doubleClick(QListWidgetItem *item)
    {
        QListWidget *list = item->listWidget();
        list->scrollToItem(item);
        list->doItemsLayout();
        const QPoint centre = list->visualItemRect(item).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, centre);
    }
    void place(int n)
    {
        for (int i = 0; i < n; ++i)
            m_panel->slotDblProjectAddDevice(availList()->item(0));
    }
    // The messages shown since the last call.
    QList<ShownMessage> takeMessages()
    {
        const QList<ShownMessage> messages = shownMessages(m_panel.get());
        closeMessages(m_panel.get());
        return messages;
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

    void sixteenLoggersFitADashboardAndSixtyFourTheProject()
    {
        for (int i = 0; i < 65; ++i)
            discover(i, LINK_TCP);
        showDiscovered();
        place(14);
        for (int row = 0; row < 3; ++row)
            availList()->item(row)->setSelected(true);
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QCOMPARE(ids(dashboard(0)).mid(14),
                 (QStringList{m_available[14]->id, m_available[15]->id}));
        QCOMPARE(ids(availList()).first(), m_available[16]->id);
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL_DASHBOARD});

        m_panel->slotProjectAddDevice();
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL_DASHBOARD});
        doubleClick(availList()->item(0));
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL_DASHBOARD});
        QPointer<ConfiguredDevice> refused = manual("024B58AABBCC");
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL_DASHBOARD});
        QVERIFY(refused.isNull());
        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(availList()->count(), 49);

        // The 16th by double click goes in silently; the 64th disables adding.
        for (int d = 1; d < 4; ++d) {
            selectTab(d);
            place(15);
            QVERIFY(button("btn_add")->isEnabled());
            QVERIFY(button("btn_manual")->isEnabled());
            doubleClick(availList()->item(0));
            QCOMPARE(dashboard(d)->count(), 16);
        }
        QVERIFY(takeMessages().isEmpty());
        QVERIFY(!button("btn_add")->isEnabled());
        QVERIFY(!button("btn_manual")->isEnabled());
        dashboard(3)->item(5)->setSelected(true);
        QTest::mouseClick(button("btn_remove"), Qt::LeftButton);
        QCOMPARE(dashboard(3)->count(), 15);
        QVERIFY(button("btn_add")->isEnabled());
        QVERIFY(button("btn_manual")->isEnabled());
    }

    // A hand-made logger that discovery also found takes the discovered entry's place and gives
    // it back when removed; one that discovery does not know is dropped on removal.
    void manualLoggersAndRemovals()
    {
        discover(1, LINK_TCP);
        discover(2, LINK_TCP);
        discover(3, LINK_SERIAL);
        showDiscovered();
        place(1);
        QPointer<ConfiguredDevice> duplicate = manual("024B58000001");
        QCOMPARE(takeMessages(),
                 (QList<ShownMessage>{{"ERROR", "the mac address already exists."}}));
        QVERIFY(duplicate.isNull());

        selectTab(3);
        QPointer<ConfiguredDevice> seen = manual("024B58000002");
        QPointer<ConfiguredDevice> unknown = manual("024B58AABBCC");
        QCOMPARE(ids(dashboard(3)), (QStringList{"024B58000002", "024B58AABBCC"}));
        QCOMPARE(dashboard(3)->item(1)->text(), QStringLiteral("Dock\t[127.0.0.1:2323]"));
        showDiscovered();
        QCOMPARE(ids(availList()), QStringList{"KX0003"});

        m_panel->slotProjectRemoveDevice(); // nothing selected: nothing moves
        QCOMPARE(dashboard(3)->count(), 2);
        dashboard(3)->selectAll();
        m_panel->slotProjectRemoveDevice();
        QVERIFY(seen.isNull());
        QVERIFY(unknown.isNull());
        QCOMPARE(ids(availList()), (QStringList{"KX0003", "024B58000002"}));
        QCOMPARE(availList()->item(1)->text(), QStringLiteral("024B58000002\t[10.0.0.3:23]"));
        selectTab(0);
        dashboard(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QCOMPARE(ids(availList()), (QStringList{"KX0003", "024B58000002", "024B58000001"}));

        QPointer<ConfiguredDevice> unconfirmed = manual("024B58AABBCD");
        m_panel.reset();
        QVERIFY(unconfirmed.isNull());
    }

    void confirmBuildsThePlacedLoggersWithTheDashboardNames()
    {
        discover(7, LINK_SERIAL);
        discover(3, LINK_TCP, 2323);
        showDiscovered();
        QCOMPARE(confirm(), QList<ConfiguredDevice *>());
        QCOMPARE(takeMessages(),
                 (QList<ShownMessage>{{"INFORMATION",
                                       "You must add at least one device to the dashboard.\n"
                                       "Please retry."}}));
        QCOMPARE(availList()->item(0)->text(), QStringLiteral("KX0007\t[/dev/ttyACM7]"));
        QCOMPARE(availList()->item(1)->text(), QStringLiteral("024B58000003\t[10.0.0.4:2323]"));
        selectTab(2);
        place(1);
        selectTab(0);
        place(1);
        selectTab(3);
        QPointer<ConfiguredDevice> hand = manual("024B58AABBCC");
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_2")->clear();
        m_panel->findChild<QLineEdit *>("lineEdit_dashboard_4")->setText("Cold room");

        QStringList names;
        const QList<ConfiguredDevice *> devices = confirm(&names);
        QCOMPARE(devices.size(), 3);
        std::unique_ptr<ConfiguredDevice> tcp(devices.at(0)), usb(devices.at(1)),
            man(devices.at(2));
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
        QCOMPARE(man.get(), hand);
        QCOMPARE(hand->dashboardNumber(), 3);
    }

    void editModeShowsProjectDevicesByNameAndHidesOnesOffTheDashboards()
    {
        ConfiguredDevice *kept =
            m_projectDevices.add("024B58000001", LINK_TCP, "Freezer", "127.0.0.1", 2323, 1);
        m_projectDevices.add("024B58000002", LINK_TCP, "Lost", "127.0.0.1", 2323, 4);
        ConfiguredDevice *unnamed =
            m_projectDevices.add("024B58000003", LINK_TCP, "", "127.0.0.1", 2323, 0);
        for (int i : {1, 2, 9})
            discover(i, LINK_TCP);
        m_panel->setIntervalDisabled(true);
        m_panel->setConfiguredDeviceList(m_projectDevices.list());
        showDiscovered();
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
        QCOMPARE(confirm(&names), (QList<ConfiguredDevice *>{unnamed, kept}));
        QCOMPARE(names, (QStringList{"North", "South", "Dock", ""}));
    }

    void editModeSkipsDevicesBeyondSixteenOnADashboardAndWarnsAt64()
    {
        for (int i = 0; i < 64; ++i)
            m_projectDevices.add(QStringLiteral("ID%1").arg(i), LINK_TCP, "", "127.0.0.1", 23,
                                 i < 17 ? 0 : 1 + (i % 3));
        m_panel->setConfiguredDeviceList(m_projectDevices.list());
        QCOMPARE(dashboard(0)->count(), 16);
        QCOMPARE(ids(dashboard(0)).last(), QStringLiteral("ID15"));
        QCOMPARE(takeMessages(),
                 (QList<ShownMessage>{{"ERROR", "cannot add more than 64 devices."}}));
    }

    void intervalMenuChecksOnlyTheChosenIntervalAndNoneOutsideTheSix()
    {
        QMenu *menu = m_panel->intervalMenu();
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->text() + (action->isChecked() ? "*" : ""));
        QCOMPARE(texts, (QStringList{"1 sec", "5 sec", "10 sec*", "1 min", "5 min", "10 min"}));

        QSignalSpy changes(m_panel.get(), &ProjectManager::pollIntervalChanged);
        menu->actions().at(3)->trigger();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toInt(), 60000);
        QCOMPARE(m_panel->findChild<QLabel *>("label_interval")->text(), QStringLiteral("1 min"));
        QVERIFY(!menu->actions().at(2)->isChecked());

        m_panel->setPollInterval(2000);
        for (QAction *action : menu->actions())
            QVERIFY(!action->isChecked());
        QCOMPARE(m_panel->findChild<QLabel *>("label_interval")->text(), QString());
    }
};

QTEST_MAIN(ProjectManagerTest)
#include "tst_projectmanager.moc"
