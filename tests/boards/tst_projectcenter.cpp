#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "project/networksettingdialog.h"
#include "tests/support/devicefactory.h"
#include "view/chartview.h"
#include "view/dashboarddeviceitem.h"
#include "view/dashboardtab.h"
#include "view/devicelisticons.h"
#include "view/elidedlabel.h"
#include "view/projectcenter.h"
#include "view/projectlist.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

const QString GREY_TEXT = QStringLiteral("color:rgb(192,192,192);background-color:transparent;");
const QString RED_TEXT = QStringLiteral("color:rgb(230,80,80);background-color:transparent;");
const QString YELLOW_TEXT = QStringLiteral("color:rgb(255,255,147);background-color:transparent;");

QLabel *label(QWidget *parent, const char *name)
{
    return parent->findChild<QLabel *>(QLatin1String(name));
}

} // namespace

class ProjectCenterTest : public QObject
{
    Q_OBJECT

private:
    DeviceFactory m_devices;
    std::unique_ptr<ProjectCenter> m_center;

    ProjectCenter *startCenter()
    {
        m_center = std::make_unique<ProjectCenter>(QStringLiteral("/tmp/cold.store.tpc"));
        m_center->setDeviceList(m_devices.list());
        m_center->resize(1152, 620);
        m_center->show();
        return m_center.get();
    }

    QListWidget *deviceList() const
    {
        return m_center->projectList()->findChild<QListWidget *>(QStringLiteral("list_project"));
    }

    void clickListEntry(ConfiguredDevice *device)
    {
        QListWidgetItem *item = m_center->projectList()->item(device);
        QVERIFY(item);
        QListWidget *list = deviceList();
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
    }

    template <typename Dialog> int openDialogs() const
    {
        return m_center->findChildren<Dialog *>().size();
    }

private slots:
    void init()
    {
        m_devices.add("KX0001", LINK_SERIAL, "Cold room", "/dev/ttyACM0");
        m_devices.add("024B58000001", LINK_TCP, QString(), "127.0.0.1");
        m_devices.add("KX0003", LINK_NONE, "Spare", "127.0.0.1", 23, 4);
    }

    void cleanup()
    {
        m_center.reset();
        m_devices.clear();
    }

    void theListNamesTheProjectAndEveryDeviceEvenOneOnNoDashboard()
    {
        startCenter();
        QCOMPARE(m_center->projectName(), QStringLiteral("cold"));
        QCOMPARE(m_center->projectList()->projectName(), QStringLiteral("cold"));
        QListWidget *list = deviceList();
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Cold room"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("024B58000001"));
        QCOMPARE(list->item(1)->toolTip(), QStringLiteral("127.0.0.1"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("Spare"));
        QCOMPARE(m_center->projectList()->icons()->item(m_devices.at(2)), list->item(2));
        QVERIFY(!m_devices.at(2)->ch1Item());
        QVERIFY(m_devices.at(0)->ch1Item());
    }

    void pickingADeviceInTheListShowsItsDetailView()
    {
        startCenter();
        QVERIFY(QTest::qWaitForWindowExposed(m_center.get()));
        ConfiguredDevice *device = m_devices.at(1);
        clickListEntry(device);

        QVERIFY(!m_center->isDashboardMode());
        QCOMPARE(m_center->currentDevice(), device);
        QVERIFY(m_center->chartView()->isVisible());
        QVERIFY(!m_center->dashboardTab()->isVisible());
        QCOMPARE(device->chartView(), static_cast<DeviceDetailView *>(m_center->chartView()));
        QVERIFY(m_center->projectList()->item(device)->isSelected());
    }

    void pickingAnotherDeviceDetachesTheDetailViewFromTheFirst()
    {
        startCenter();
        ConfiguredDevice *first = m_devices.at(0);
        ConfiguredDevice *second = m_devices.at(1);
        emit m_center->dashboardTab()->deviceClicked(first);
        emit m_center->dashboardTab()->deviceClicked(second);

        QVERIFY(!first->chartView());
        QCOMPARE(second->chartView(), static_cast<DeviceDetailView *>(m_center->chartView()));
        QVERIFY(m_center->projectList()->item(second)->isSelected());
        QVERIFY(!m_center->projectList()->item(first)->isSelected());
    }

    void pickingTheShownDeviceAgainDoesNothingUntilTheDashboardsAreBack()
    {
        startCenter();
        ConfiguredDevice *device = m_devices.at(0);
        m_center->slotDeviceClicked(device);
        device->clearChartView();

        m_center->slotDeviceClicked(device);
        QVERIFY(!device->chartView());

        m_center->slotDashboardClicked();
        m_center->slotDeviceClicked(device);
        QCOMPARE(device->chartView(), static_cast<DeviceDetailView *>(m_center->chartView()));
    }

    void theProjectButtonReturnsToTheDashboardsWithRefreshedTiles()
    {
        startCenter();
        QVERIFY(QTest::qWaitForWindowExposed(m_center.get()));
        ConfiguredDevice *device = m_devices.at(0);
        m_center->slotDeviceClicked(device);
        device->setDeviceName(QStringLiteral("Freezer"));

        QTest::mouseClick(
            m_center->projectList()->findChild<QToolButton *>(QStringLiteral("button_project")),
            Qt::LeftButton);

        QVERIFY(m_center->isDashboardMode());
        QVERIFY(m_center->dashboardTab()->isVisible());
        QVERIFY(!m_center->chartView()->isVisible());
        QVERIFY(!device->chartView());
        QCOMPARE(m_center->currentDevice(), device);
        QVERIFY(deviceList()->selectedItems().isEmpty());
        auto *tile = static_cast<DashBoardDeviceItem *>(device->ch1Item());
        QCOMPARE(label(tile, "label_device")->text(), QStringLiteral("Freezer"));
    }

    void aLongNameEndsInAnEllipsisEverywhereAndLeavesTheTilesEqual()
    {
        const QString longName = QStringLiteral("Dispatch dock north gate chiller, second rack, "
                                                "upper shelf, left of the door");
        m_devices.at(0)->setDeviceName(longName);
        startCenter();
        QVERIFY(QTest::qWaitForWindowExposed(m_center.get()));
        QApplication::processEvents();

        const auto *tile = static_cast<DashBoardDeviceItem *>(m_devices.at(0)->ch1Item());
        const auto *other = static_cast<DashBoardDeviceItem *>(m_devices.at(1)->ch1Item());
        QCOMPARE(tile->width(), other->width());
        auto *tileName = tile->findChild<ElidedLabel *>(QStringLiteral("label_device"));
        QVERIFY(tileName->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(tileName->toolTip(), longName);

        // The list draws its entries elided within its width, never scrolled sideways.
        QListWidget *list = deviceList();
        QVERIFY(list->visualItemRect(list->item(0)).right() < list->viewport()->width());
        QCOMPARE(list->textElideMode(), Qt::ElideRight);

        clickListEntry(m_devices.at(0));
        QApplication::processEvents();
        auto *header =
            m_center->chartView()->findChild<ElidedLabel *>(QStringLiteral("label_device"));
        QVERIFY(header->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(header->text(), longName);
    }

    void aTilePressOpensTheDetailViewOfItsDevice()
    {
        startCenter();
        QVERIFY(QTest::qWaitForWindowExposed(m_center.get()));
        ConfiguredDevice *device = m_devices.at(1);
        QTest::mouseClick(static_cast<DashBoardDeviceItem *>(device->ch2Item()), Qt::LeftButton);
        QCOMPARE(m_center->currentDevice(), device);
        QVERIFY(!m_center->isDashboardMode());
    }

    void theDatabaseSizeTurnsRedFromThreeGibibytes()
    {
        startCenter();
        QLabel *bytes = label(m_center.get(), "label_record_bytes");
        m_center->setDatabaseSize(3221225471LL);
        QCOMPARE(bytes->text(), QStringLiteral("Database 3072.00MB"));
        QCOMPARE(bytes->styleSheet(), GREY_TEXT);
        m_center->setDatabaseSize(3221225472LL);
        QCOMPARE(bytes->text(), QStringLiteral("Database 3072.00MB"));
        QCOMPARE(bytes->styleSheet(), RED_TEXT);
        m_center->setDatabaseSize(0);
        QCOMPARE(bytes->text(), QStringLiteral("Database 0.00MB"));
        QCOMPARE(bytes->styleSheet(), GREY_TEXT);
        m_center->setDatabaseSize(1572864);
        QCOMPARE(bytes->text(), QStringLiteral("Database 1.50MB"));
    }

    void startingARecordingKeepsAnExistingStartText()
    {
        startCenter();
        m_center->setRecordTimes(QStringLiteral("2024-03-01 08:00:00"),
                                 QStringLiteral("2024-03-01 09:00:00"));
        m_center->setRecordState(true);

        QCOMPARE(m_center->recordStartText(), QStringLiteral("2024-03-01 08:00:00"));
        QCOMPARE(label(m_center.get(), "label_to")->text(), QStringLiteral("~"));
        QCOMPARE(label(m_center.get(), "label_record_starttime")->styleSheet(), YELLOW_TEXT);
        QCOMPARE(label(m_center.get(), "label_record_endtime")->styleSheet(), YELLOW_TEXT);
        QCOMPARE(label(m_center.get(), "label_to")->styleSheet(), YELLOW_TEXT);
    }

    void aFirstRecordingStartsAtTheCurrentTime()
    {
        startCenter();
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        m_center->setRecordState(true);
        const QDateTime start = QDateTime::fromString(m_center->recordStartText(),
                                                      QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY(start.isValid());
        QVERIFY(start >= before.addMSecs(-before.time().msec()));
        QVERIFY(start <= QDateTime::currentDateTime());
    }

    void stoppingARecordingFillsTheEndTimeAndClearsTheTilde()
    {
        startCenter();
        m_center->setRecordStartText(QStringLiteral("2024-03-01 08:00:00"));
        m_center->setRecordState(true);
        m_center->setRecordEndText(QStringLiteral("2024-03-01 08:00:10"));
        m_center->setRecordState(false);

        QVERIFY(label(m_center.get(), "label_to")->text().isEmpty());
        QCOMPARE(m_center->recordStartText(), QStringLiteral("2024-03-01 08:00:00"));
        const QString end = m_center->recordEndText();
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(end)
                    .hasMatch());
        QVERIFY(qAbs(QDateTime::fromString(end, QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                         .secsTo(QDateTime::currentDateTime())) <= 2);
        QCOMPARE(label(m_center.get(), "label_to")->styleSheet(), GREY_TEXT);
    }

    void theRecordButtonAsksForARecordingToggle()
    {
        startCenter();
        QSignalSpy spy(m_center.get(), &ProjectCenter::clickRecord);
        QTest::mouseClick(m_center->findChild<QToolButton *>(QStringLiteral("btn_record")),
                          Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
    }

    void theOptionButtonOpensTheDialogOfTheDevicesLinkType()
    {
        startCenter();
        m_center->slotPopupSensingOption();
        QCOMPARE(openDialogs<QDialog>(), 0);

        m_center->slotDeviceClicked(m_devices.at(2));
        m_center->slotPopupSensingOption();
        QCOMPARE(openDialogs<QDialog>(), 0);

        m_center->slotDeviceClicked(m_devices.at(0));
        emit m_center->chartView()->popupSensingOption();
        QCOMPARE(openDialogs<SensingOptionUsbDialog>(), 1);
        QCOMPARE(openDialogs<SensingOptionTelnetDialog>(), 0);

        m_center->slotDeviceClicked(m_devices.at(1));
        emit m_center->chartView()->popupSensingOption();
        QCOMPARE(openDialogs<SensingOptionTelnetDialog>(), 1);
    }

    void theNetworkButtonOpensTheInformationOnlyForANetworkDevice()
    {
        startCenter();
        m_center->slotDeviceClicked(m_devices.at(0));
        emit m_center->chartView()->popupNetworkSetting();
        QCOMPARE(openDialogs<NetworkSettingDialog>(), 0);

        m_center->slotDeviceClicked(m_devices.at(1));
        emit m_center->chartView()->popupNetworkSetting();
        QCOMPARE(openDialogs<NetworkSettingDialog>(), 1);
    }

    void confirmingTheOptionsRechecksAlarmsRenamesAndAsksToSave()
    {
        startCenter();
        ConfiguredDevice *device = m_devices.at(0);
        m_center->slotDeviceClicked(device);
        device->readMeasureData(QStringLiteral("23.40,45.10\n"));
        QVERIFY(!device->alarm1());
        emit m_center->chartView()->popupSensingOption();
        auto *dialog = m_center->findChild<SensingOptionUsbDialog *>();
        QVERIFY(dialog);
        QSignalSpy save(m_center.get(), &ProjectCenter::updateProjectFile);

        device->setAlarmRange(0.0f, 20.0f, 0.0f, 0.0f);
        device->setDeviceName(QStringLiteral("Freezer"));
        emit dialog->sensingConfirm();

        QCOMPARE(save.count(), 1);
        QVERIFY(device->alarm1());
        QVERIFY(!device->alarm2());
        QCOMPARE(m_center->projectList()->item(device)->text(), QStringLiteral("Freezer"));
        QCOMPARE(label(m_center->chartView(), "label_ch1_device")->text(),
                 QStringLiteral("Freezer"));
    }

    void aSampleOfTheShownDeviceReachesTheDetailViewAndItsTiles()
    {
        startCenter();
        ConfiguredDevice *device = m_devices.at(1);
        m_center->slotDeviceClicked(device);
        device->readMeasureData(QStringLiteral("23.40,45.10\n"));
        QCOMPARE(label(m_center->chartView(), "label_ch1_number")->text(), QStringLiteral("23.40"));
        QCOMPARE(label(m_center->chartView(), "label_ch2_number")->text(), QStringLiteral("45.10"));
        // The tiles are out of sight behind the detail view; they catch up when shown.
        auto *tile = static_cast<DashBoardDeviceItem *>(device->ch2Item());
        QVERIFY(tile->hasPending());
        m_center->slotDashboardClicked();
        QCOMPARE(label(tile, "label_number")->text(), QStringLiteral("45.10"));
    }

    void listEntryShowsTheDisconnectedIconUntilTheNextConnectionReport()
    {
        ConfiguredDevice device(QStringLiteral("KX0001"), LINK_SERIAL);
        DeviceListIcons icons;
        QListWidgetItem item;
        device.deviceConnected();
        icons.attach(&device, &item);
        QCOMPARE(item.icon().cacheKey(), icons.disconnectedIcon().cacheKey());
        device.deviceConnected();
        QCOMPARE(item.icon().cacheKey(), icons.connectedIcon().cacheKey());
        QVERIFY(icons.connectedIcon().cacheKey() != icons.disconnectedIcon().cacheKey());
        icons.detach(&device);
        device.deviceDisconnected();
        QCOMPARE(item.icon().cacheKey(), icons.connectedIcon().cacheKey());
    }

    void deletingTheProjectCentreLeavesNoDeviceWithAViewPointer()
    {
        startCenter();
        m_center->slotDeviceClicked(m_devices.at(0));
        m_center.reset();
        for (const ConfiguredDevice *device : m_devices.list()) {
            QVERIFY(!device->ch1Item());
            QVERIFY(!device->ch2Item());
            QVERIFY(!device->chartView());
        }
        // No list entry follows a device once the list is gone.
        m_devices.at(0)->deviceConnected();
    }

    void aDeviceDeletedBeforeTheProjectCentreIsSkipped()
    {
        startCenter();
        m_devices.remove(0);
        m_devices.at(0)->setDeviceName(QStringLiteral("Renamed"));
        m_center->projectList()->refreshNames();
        QCOMPARE(deviceList()->item(1)->text(), QStringLiteral("Renamed"));
        m_center->dashboardTab()->refreshItems();
        m_center.reset();
        m_devices.at(0)->deviceConnected();
        QVERIFY(!m_devices.at(0)->ch1Item());
    }
};

QTEST_MAIN(ProjectCenterTest)
#include "tst_projectcenter.moc"
