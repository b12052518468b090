#include "device/configureddevice.h"
#include "tests/support/devicefactory.h"
#include "view/dashboard.h"
#include "view/dashboarddeviceitem.h"
#include "view/dashboardtab.h"
#include "view/tilerefresher.h"
#include "view/tilestyle.h"

#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <memory>

namespace {

QString styleOf(DashBoardDeviceItem *tile)
{
    return tile->findChild<QFrame *>(QStringLiteral("frame_value"))->styleSheet();
}

QString textOf(QWidget *widget, const char *name)
{
    return widget->findChild<QLabel *>(QLatin1String(name))->text();
}

// Counts the repaints of a window and the paint events of one widget.
class PaintCounter : public QObject
{
public:
    int repaints = 0;
    int paints = 0;
    QObject *painted = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++repaints;
        if (event->type() == QEvent::Paint && watched == painted)
            ++paints;
        return false;
    }
};

void showTab(DashboardTab &tab)
{
    tab.resize(1200, 700);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
}

DashBoardDeviceItem *tileIn(DashBoard *board, const char *slotName)
{
    auto *slot = board->findChild<QWidget *>(QLatin1String(slotName));
    return slot ? slot->findChild<DashBoardDeviceItem *>() : nullptr;
}

} // namespace

class DashboardsTest : public QObject
{
    Q_OBJECT

private:
    DeviceFactory m_devices;
    int m_made = 0;

    ConfiguredDevice *makeDevice(const QString &number, int dashboard = 0)
    {
        ++m_made;
        return m_devices.add(number, LINK_SERIAL, "Logger " + number,
                             "/dev/ttyACM" + number.right(1), 23, dashboard);
    }

    QList<ConfiguredDevice *> makeDevices(int count, int dashboard = 0)
    {
        QList<ConfiguredDevice *> list;
        for (int i = 0; i < count; ++i)
            list.append(makeDevice(QStringLiteral("KX%1").arg(m_made + 1, 4, 10, QLatin1Char('0')),
                                   dashboard));
        return list;
    }

private slots:
    void cleanup()
    {
        m_devices.clear();
        m_made = 0;
    }

    void devicesFillAColumnPairTopToBottomBeforeTheNext()
    {
        DashboardTab tab;
        const QList<ConfiguredDevice *> devices = makeDevices(5);
        tab.setDeviceList(devices);
        DashBoard *board = tab.dashboard(0);

        const struct
        {
            int device;
            const char *ch1Slot;
            const char *ch2Slot;
        } places[] = {{0, "widget_01", "widget_02"},
                      {1, "widget_09", "widget_10"},
                      {3, "widget_25", "widget_26"},
                      {4, "widget_03", "widget_04"}};
        for (const auto &place : places) {
            DashBoardDeviceItem *ch1 = tileIn(board, place.ch1Slot);
            DashBoardDeviceItem *ch2 = tileIn(board, place.ch2Slot);
            QVERIFY2(ch1 && ch2, place.ch1Slot);
            QCOMPARE(ch1->device(), devices.at(place.device));
            QVERIFY(ch1->isChannel1());
            QVERIFY(!ch2->isChannel1());
            QCOMPARE(devices.at(place.device)->ch1Item(), static_cast<DeviceTileView *>(ch1));
            QCOMPARE(devices.at(place.device)->ch2Item(), static_cast<DeviceTileView *>(ch2));
        }
        QVERIFY(!tileIn(board, "widget_05"));
        QVERIFY(!tileIn(board, "widget_11"));
        QCOMPARE(board->items().size(), 10);
    }

    void eachDeviceGoesToTheDashboardItsNumberNames()
    {
        DashboardTab tab;
        ConfiguredDevice *first = makeDevice(QStringLiteral("KX0001"), 2);
        ConfiguredDevice *second = makeDevice(QStringLiteral("KX0002"), 0);
        ConfiguredDevice *third = makeDevice(QStringLiteral("KX0003"), 2);
        tab.setDeviceList({first, second, third});

        QCOMPARE(tileIn(tab.dashboard(2), "widget_01")->device(), first);
        QCOMPARE(tileIn(tab.dashboard(2), "widget_09")->device(), third);
        QCOMPARE(tileIn(tab.dashboard(0), "widget_01")->device(), second);
        QVERIFY(tab.dashboard(1)->items().isEmpty());
        QVERIFY(tab.dashboard(3)->items().isEmpty());
    }

    void aSeventeenthDeviceOrADashboardBeyondTheFourthIsShownNowhere()
    {
        DashboardTab tab;
        QList<ConfiguredDevice *> devices = makeDevices(17);
        ConfiguredDevice *beyond = makeDevice(QStringLiteral("KX0100"), 4);
        ConfiguredDevice *negative = makeDevice(QStringLiteral("KX0101"), -1);
        ConfiguredDevice *later = makeDevice(QStringLiteral("KX0102"), 1);
        devices << beyond << negative << later;
        tab.setDeviceList(devices);

        QCOMPARE(tab.dashboard(0)->items().size(), 32);
        QCOMPARE(tileIn(tab.dashboard(0), "widget_32")->device(), devices.at(15));
        QVERIFY(!devices.at(16)->ch1Item());
        QVERIFY(!beyond->ch1Item() && !beyond->ch2Item());
        QVERIFY(!negative->ch1Item());
        QCOMPARE(tileIn(tab.dashboard(1), "widget_01")->device(), later);
    }

    void tilesStartGreyAndTakeTheGradientOfTheirChannelsAlarmFlag()
    {
        DashboardTab tab;
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        tab.setDeviceList({device});
        showTab(tab);
        TileRefresher *refresher = tab.dashboard(0)->refresher();
        auto *ch1 = static_cast<DashBoardDeviceItem *>(device->ch1Item());
        auto *ch2 = static_cast<DashBoardDeviceItem *>(device->ch2Item());
        QCOMPARE(styleOf(ch1), QLatin1String(TileStyle::grey));

        device->setAlarm1(true);
        device->setAlarm2(false);
        ch1->setValue(QStringLiteral("31.20"));
        ch2->setValue(QStringLiteral("40.00"));
        refresher->flush();
        QCOMPARE(styleOf(ch1), QLatin1String(TileStyle::alarm));
        QCOMPARE(styleOf(ch2), QLatin1String(TileStyle::normal));

        device->setAlarm1(false);
        device->setAlarm2(true);
        ch1->setValue(QStringLiteral("----"));
        ch2->setValue(QStringLiteral("90.00"));
        refresher->flush();
        QCOMPARE(textOf(ch1, "label_number"), QStringLiteral("----"));
        QCOMPARE(styleOf(ch1), QLatin1String(TileStyle::normal));
        QCOMPARE(styleOf(ch2), QLatin1String(TileStyle::alarm));
    }

    void unitTextsFollowTheUnitTable()
    {
        DashboardTab tab;
        ConfiguredDevice *fahrenheit = makeDevice(QStringLiteral("KX0001"));
        fahrenheit->setCh1Unit(2);
        fahrenheit->setCh2Unit(4);
        fahrenheit->setCh2Custom(QStringLiteral("ppm"));
        ConfiguredDevice *unknown = makeDevice(QStringLiteral("KX0002"));
        unknown->setCh1Unit(7);
        unknown->setCh2Unit(3);
        tab.setDeviceList({fahrenheit, unknown});
        showTab(tab);

        for (ConfiguredDevice *device : {fahrenheit, unknown}) {
            device->ch1Item()->setValue(QStringLiteral("1.00"));
            device->ch2Item()->setValue(QStringLiteral("2.00"));
        }
        tab.dashboard(0)->refresher()->flush();
        auto unitOf = [](DeviceTileView *tile) {
            return textOf(static_cast<DashBoardDeviceItem *>(tile), "label_unit");
        };
        QCOMPARE(unitOf(fahrenheit->ch1Item()), QString(QChar(0x00B0)) + QLatin1Char('F'));
        QCOMPARE(unitOf(fahrenheit->ch2Item()), QStringLiteral("ppm"));
        QCOMPARE(unitOf(unknown->ch1Item()), QString());
        QCOMPARE(unitOf(unknown->ch2Item()), QStringLiteral("%RH"));
    }

    void theNumberFontIsRefittedOnlyWhenTheValueLengthChanges()
    {
        DashBoardDeviceItem tile(makeDevice(QStringLiteral("KX0001")), true);
        tile.resize(240, 180);
        tile.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tile));
        auto *number = tile.findChild<QLabel *>(QStringLiteral("label_number"));
        QFont marker = number->font();
        marker.setPointSizeF(3.0);

        tile.setValue(QStringLiteral("9.99"));
        number->setFont(marker);
        tile.setValue(QStringLiteral("10.00"));
        QVERIFY(number->font().pointSizeF() > 3.5);

        number->setFont(marker);
        tile.setValue(QStringLiteral("12.34"));
        QCOMPARE(number->font().pointSizeF(), 3.0);
    }

    void connectionNoticesActOnlyForTheTilesOwnDevice()
    {
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        DashBoardDeviceItem tile(device, true);
        tile.show();

        tile.deviceConnected(QStringLiteral("KX0002"));
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::grey));

        device->setAlarm1(true);
        tile.deviceConnected(QStringLiteral("KX0001"));
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::normal));

        tile.setValue(QStringLiteral("99.00"));
        tile.deviceDisconnected(QStringLiteral("KX0002"));
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::alarm));
        QCOMPARE(textOf(&tile, "label_number"), QStringLiteral("99.00"));

        // It answered before: "no communication", not the grey of a logger never heard from.
        tile.deviceDisconnected(QStringLiteral("KX0001"));
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::noCommunication));
        QCOMPARE(textOf(&tile, "label_number"), QStringLiteral("NO COMM"));
        QVERIFY(textOf(&tile, "label_unit").isEmpty());
        DashBoardDeviceItem fresh(device, false);
        fresh.deviceDisconnected(QStringLiteral("KX0001"));
        QCOMPARE(styleOf(&fresh), QLatin1String(TileStyle::grey));
    }

    void namesFallBackToTheInterfaceAndTheChannelNumber()
    {
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        device->setDeviceName(QString());
        device->setCh2Name(QStringLiteral("Humidity"));
        DashBoardDeviceItem ch1(device, true);
        DashBoardDeviceItem ch2(device, false);
        QCOMPARE(textOf(&ch1, "label_device"), QStringLiteral("/dev/ttyACM1"));
        QCOMPARE(textOf(&ch1, "label_desc"), QStringLiteral("CH1"));
        QCOMPARE(textOf(&ch2, "label_desc"), QStringLiteral("Humidity"));
    }

    void refreshRereadsNamesAndUnitsAndKeepsAnEmptyTileGrey()
    {
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        DashBoardDeviceItem shown(device, true);
        DashBoardDeviceItem empty(device, false);
        shown.show();
        empty.show();
        shown.setValue(QStringLiteral("21.00"));

        device->setDeviceName(QStringLiteral("Cold room"));
        device->setCh1Name(QStringLiteral("Air"));
        device->setCh1Unit(1);
        device->setCh2Unit(3);
        device->setAlarm1(true);
        shown.refresh();
        empty.refresh();

        QCOMPARE(textOf(&shown, "label_device"), QStringLiteral("Cold room"));
        QCOMPARE(textOf(&shown, "label_desc"), QStringLiteral("Air"));
        QCOMPARE(textOf(&shown, "label_unit"), QString(QChar(0x00B0)) + QLatin1Char('C'));
        QCOMPARE(styleOf(&shown), QLatin1String(TileStyle::alarm));
        QVERIFY(textOf(&empty, "label_unit").isEmpty());
        QCOMPARE(styleOf(&empty), QLatin1String(TileStyle::grey));
    }

    void expansionModeHidesOnlyTheEmptySlots()
    {
        DashboardTab tab;
        tab.setDeviceList(makeDevices(3));
        tab.resize(900, 500);
        tab.show();
        DashBoard *board = tab.dashboard(0);
        const QStringList occupied = {QStringLiteral("widget_01"), QStringLiteral("widget_02"),
                                      QStringLiteral("widget_09"), QStringLiteral("widget_10"),
                                      QStringLiteral("widget_17"), QStringLiteral("widget_18")};

        tab.setEmptySlotsVisible(false);
        for (int n = 1; n <= 32; ++n) {
            const QString name = QStringLiteral("widget_%1").arg(n, 2, 10, QLatin1Char('0'));
            auto *slot = board->findChild<QWidget *>(name);
            QCOMPARE(slot->isVisibleTo(board), occupied.contains(name));
        }
        QVERIFY(!tab.dashboard(3)
                     ->findChild<QWidget *>(QStringLiteral("widget_01"))
                     ->isVisibleTo(tab.dashboard(3)));

        tab.setEmptySlotsVisible(true);
        for (int n = 1; n <= 32; ++n) {
            const QString name = QStringLiteral("widget_%1").arg(n, 2, 10, QLatin1Char('0'));
            QVERIFY(board->findChild<QWidget *>(name)->isVisibleTo(board));
        }
    }

    void dashboardNamesRenameTheTabsInOrder()
    {
        DashboardTab tab;
        QCOMPARE(tab.dashboardName(0), QStringLiteral("Dashboard 1"));
        QCOMPARE(tab.dashboardName(3), QStringLiteral("Dashboard 4"));
        tab.setDashboardNames({QStringLiteral("Lab"), QStringLiteral("Store")});
        QCOMPARE(tab.dashboardName(0), QStringLiteral("Lab"));
        QCOMPARE(tab.dashboardName(1), QStringLiteral("Store"));
        QCOMPARE(tab.dashboardName(2), QStringLiteral("Dashboard 3"));
        tab.setDashboardNames({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                               QStringLiteral("D"), QStringLiteral("E")});
        QCOMPARE(tab.dashboardName(3), QStringLiteral("D"));
        QCOMPARE(tab.findChild<QTabWidget *>()->count(), 4);
    }

    void pressingATileReportsItsDevice()
    {
        DashboardTab tab;
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        tab.setDeviceList({makeDevice(QStringLiteral("KX0000")), device});
        tab.resize(900, 500);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QSignalSpy spy(&tab, &DashboardTab::deviceClicked);

        auto *tile = static_cast<DashBoardDeviceItem *>(device->ch2Item());
        QTest::mouseClick(tile, Qt::RightButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<ConfiguredDevice *>(), device);
    }

    void aTileWithoutDeviceShowsNothingAndReportsNothing()
    {
        DashBoardDeviceItem tile(nullptr, true);
        tile.show();
        QSignalSpy spy(&tile, &DashBoardDeviceItem::clicked);
        QVERIFY(!tile.findChild<QFrame *>(QStringLiteral("frame_ch"))->isVisible());
        QTest::mouseClick(&tile, Qt::LeftButton);
        tile.setValue(QStringLiteral("1.00"));
        tile.refresh();
        QCOMPARE(spy.count(), 0);
    }

    void deletingTheDashboardsDetachesTheirDevices()
    {
        auto tab = std::make_unique<DashboardTab>();
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        ConfiguredDevice *elsewhere = makeDevice(QStringLiteral("KX0002"));
        tab->setDeviceList({device, elsewhere});

        // A newer page that took the device over keeps its tiles.
        DashBoardDeviceItem newer1(elsewhere, true), newer2(elsewhere, false);
        elsewhere->setDashboardItems(&newer1, &newer2);

        tab.reset();
        QVERIFY(!device->ch1Item());
        QVERIFY(!device->ch2Item());
        QCOMPARE(elsewhere->ch1Item(), static_cast<DeviceTileView *>(&newer1));
    }

    void deletingADeviceFirstLeavesTheDashboardsSafe()
    {
        auto tab = std::make_unique<DashboardTab>();
        tab->setDeviceList(makeDevices(2));
        auto *tile = static_cast<DashBoardDeviceItem *>(m_devices.at(0)->ch1Item());
        m_devices.remove(0);
        QVERIFY(!tile->device());
        QSignalSpy spy(tab.get(), &DashboardTab::deviceClicked);
        QTest::mouseClick(tile, Qt::LeftButton);
        QCOMPARE(spy.count(), 0);
        tab.reset();
        QVERIFY(!m_devices.at(0)->ch1Item());
    }

    void aMeasurementReplyReachesBothTilesOfItsDevice()
    {
        DashboardTab tab;
        ConfiguredDevice *device = makeDevice(QStringLiteral("KX0001"));
        device->setCh1Unit(1);
        device->setCh2Unit(3);
        device->setAlarmRange(0.0f, 20.0f, 30.0f, 60.0f);
        tab.setDeviceList({device});
        showTab(tab);
        auto *ch1 = static_cast<DashBoardDeviceItem *>(device->ch1Item());
        auto *ch2 = static_cast<DashBoardDeviceItem *>(device->ch2Item());

        device->readMeasureData(QStringLiteral("23.40,45.10\n"));
        QSignalSpy flushed(tab.dashboard(0)->refresher(), &TileRefresher::flushed);
        QVERIFY(flushed.wait());

        QCOMPARE(textOf(ch1, "label_number"), QStringLiteral("23.40"));
        QCOMPARE(textOf(ch2, "label_number"), QStringLiteral("45.10"));
        QCOMPARE(textOf(ch2, "label_unit"), QStringLiteral("%RH"));
        QCOMPARE(styleOf(ch1), QLatin1String(TileStyle::alarm));
        QCOMPARE(styleOf(ch2), QLatin1String(TileStyle::normal));
    }

    // A dashboard that is not shown lays out, fits and paints nothing; shown, it catches up.
    void aHiddenDashboardsTilesWaitUntilShown()
    {
        DashboardTab tab;
        ConfiguredDevice *front = makeDevice(QStringLiteral("KX0001"), 0);
        ConfiguredDevice *back = makeDevice(QStringLiteral("KX0002"), 1);
        back->setAlarmRange(0.0f, 20.0f, 0.0f, 100.0f);
        tab.setDeviceList({front, back});
        showTab(tab);
        auto *tile = static_cast<DashBoardDeviceItem *>(back->ch1Item());
        auto *number = tile->findChild<QLabel *>(QStringLiteral("label_number"));
        QFont marker = number->font();
        marker.setPointSizeF(3.0);
        number->setFont(marker);
        PaintCounter counter;
        counter.painted = number;
        number->installEventFilter(&counter);

        back->readMeasureData(QStringLiteral("9.99,40.00\n"));
        back->readMeasureData(QStringLiteral("23.40,41.00\n"));
        QVERIFY(tile->hasPending());
        QVERIFY(!tab.dashboard(1)->refresher()->isPending(tile));
        QVERIFY(number->text().isEmpty());
        QCOMPARE(number->font().pointSizeF(), 3.0);
        QCOMPARE(styleOf(tile), QLatin1String(TileStyle::grey));

        tab.findChild<QTabWidget *>()->setCurrentIndex(1);
        QCOMPARE(number->text(), QStringLiteral("23.40"));
        QVERIFY(number->font().pointSizeF() > 3.5);
        QCOMPARE(styleOf(tile), QLatin1String(TileStyle::alarm));
        QTRY_VERIFY(counter.paints > 0);
        QVERIFY(!tile->hasPending());
    }

    // Replies that arrive one by one within a poll cycle repaint the dashboard once.
    void repliesWithinACycleRepaintTheDashboardOnce()
    {
        DashboardTab tab;
        const QList<ConfiguredDevice *> devices = makeDevices(16);
        tab.setDeviceList(devices);
        showTab(tab);
        QSignalSpy flushed(tab.dashboard(0)->refresher(), &TileRefresher::flushed);
        PaintCounter counter;
        tab.installEventFilter(&counter);
        // The first frames of a new window are not the dashboard's doing.
        QTest::qWait(100);
        counter.repaints = 0;

        for (ConfiguredDevice *device : devices) {
            device->readMeasureData(QStringLiteral("21.50,55.00\n"));
            QCoreApplication::processEvents();
        }
        QVERIFY(flushed.wait());
        QTRY_VERIFY(counter.repaints > 0);
        QCoreApplication::processEvents();
        QCOMPARE(counter.repaints, 1);
        QCOMPARE(flushed.count(), 1);
        QCOMPARE(flushed.first().first().toInt(), 32);
        QCOMPARE(
            textOf(static_cast<DashBoardDeviceItem *>(devices.last()->ch2Item()), "label_number"),
            QStringLiteral("55.00"));
    }
};

QTEST_MAIN(DashboardsTest)
#include "tst_dashboards.moc"
