#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "discovery/availabledevice.h"
#include "project/manualconfigdevicedialog.h"
#include "project/messagedialog.h"
#include "project/networksettingdialog.h"
#include "project/projectmanager.h"
#include "tests/support/devicefactory.h"
#include "view/chartview.h"
#include "view/darklook.h"
#include "view/dashboard.h"
#include "view/dashboarddeviceitem.h"
#include "view/dashboardtab.h"
#include "view/devicelisticons.h"
#include "view/elidedlabel.h"
#include "view/projectcenter.h"
#include "view/projectlist.h"
#include "view/tilerefresher.h"
#include "view/tilestyle.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QtMath>

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

QString styleOf(QWidget *tile)
{
    return tile->findChild<QFrame *>(QStringLiteral("frame_value"))->styleSheet();
}

QString textOf(QWidget *widget, const char *name)
{
    return widget->findChild<QLabel *>(QLatin1String(name))->text();
}

DashBoardDeviceItem *tile(ConfiguredDevice *device, bool channel1 = true)
{
    return static_cast<DashBoardDeviceItem *>(channel1 ? device->ch1Item() : device->ch2Item());
}

DashBoardDeviceItem *tileIn(DashBoard *board, int slot)
{
    auto *place =
        board->findChild<QWidget *>(QStringLiteral("widget_%1").arg(slot, 2, 10, QLatin1Char('0')));
    return place ? place->findChild<DashBoardDeviceItem *>() : nullptr;
}

class PaintCounter : public QObject
{
public:
    int repaints = 0;
    int paints = 0;
    int layouts = 0;
    QObject *painted = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        repaints += event->type() == QEvent::UpdateRequest;
        layouts += event->type() == QEvent::LayoutRequest;
        paints += event->type() == QEvent::Paint && watched == painted;
        return false;
    }
};

double luminance(const QColor &c)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : qPow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// Every visible text of the window under 4.5:1: its colour after polish (an invalid one: the
// drawn pixel furthest from the background, for style-sheet tab captions) against the rendered
// pixel of median luminance in its box, which holds mostly background, also over a gradient.
QStringList unreadableTexts(QWidget *window)
{
    window->show();
    QApplication::sendPostedEvents();
    const QImage shot = window->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    QStringList failures;
    auto check = [&](const QWidget *widget, const QRect &local, QColor text, const QString &what) {
        const QRect r = QRect(widget->mapTo(window, local.topLeft()) * ratio, local.size() * ratio)
                            .intersected(shot.rect());
        QList<QColor> box;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                box.append(QColor(shot.pixel(x, y)));
        if (box.isEmpty())
            return;
        std::sort(box.begin(), box.end(),
                  [](const QColor &a, const QColor &b) { return luminance(a) < luminance(b); });
        const QColor back = box.at(box.size() / 2);
        if (!text.isValid())
            text =
                contrast(box.first(), back) > contrast(box.last(), back) ? box.first() : box.last();
        if (contrast(text, back) < 4.5)
            failures << widget->objectName() + " \"" + what +
                            "\": " + QString::number(contrast(text, back));
    };
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window))
            continue;
        widget->ensurePolished();
        const QPalette pal = widget->palette();
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty())
            check(label, label->contentsRect(), pal.color(label->foregroundRole()), label->text());
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            check(edit, edit->rect(), pal.color(QPalette::Text), edit->text());
        else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            check(combo, combo->rect(), pal.color(QPalette::ButtonText), combo->currentText());
            const QPalette popup = combo->view()->palette();
            if (contrast(popup.color(QPalette::Text), popup.color(QPalette::Base)) < 4.5)
                failures << combo->objectName() + " drop-down list";
        } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                check(tabs, tabs->tabRect(i), QColor(), tabs->tabText(i));
        } else if (auto *list = qobject_cast<QListWidget *>(widget)) {
            for (const QListWidgetItem *item : list->findItems("*", Qt::MatchWildcard))
                check(list->viewport(), list->visualItemRect(item),
                      pal.color(item->isSelected() ? QPalette::HighlightedText : QPalette::Text),
                      item->text());
        }
    }
    return failures;
}

} // namespace

class TestBoards : public QObject
{
    Q_OBJECT

    DeviceFactory m_devices;

    ConfiguredDevice *add(const QString &number, int dashboard = 0)
    {
        return m_devices.add(number, LINK_SERIAL, "Logger " + number, "/dev/ttyACM1", 23,
                             dashboard);
    }

    QList<ConfiguredDevice *> addMany(int count, int dashboard = 0)
    {
        QList<ConfiguredDevice *> list;
        for (int i = 0; i < count; ++i)
            list.append(
                add(QStringLiteral("KX%1").arg(dashboard * 100 + i, 4, 10, QChar('0')), dashboard));
        return list;
    }

    static void show(QWidget *widget)
    {
        widget->resize(1152, 620);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
    }

private slots:
    void cleanup() { m_devices.clear(); }

    void devicesFillColumnPairsOfTheirOwnDashboardOnlyUpToSixteen()
    {
        DashboardTab tab;
        QList<ConfiguredDevice *> first = addMany(17);
        ConfiguredDevice *beyond = add("KX0900", 4);
        ConfiguredDevice *negative = add("KX0901", -1);
        const QList<ConfiguredDevice *> third = addMany(2, 2);
        ConfiguredDevice *second = add("KX0902", 1);
        tab.setDeviceList(m_devices.list());

        DashBoard *board = tab.dashboard(0);
        const QList<std::pair<int, int>> places{{0, 1}, {1, 9}, {3, 25}, {4, 3}, {15, 31}};
        for (const auto &[device, slot] : places) {
            QCOMPARE(tileIn(board, slot)->device(), first.at(device));
            QVERIFY(tileIn(board, slot)->isChannel1());
            QVERIFY(!tileIn(board, slot + 1)->isChannel1());
            QCOMPARE(first.at(device)->ch1Item(), tileIn(board, slot));
            QCOMPARE(first.at(device)->ch2Item(), tileIn(board, slot + 1));
        }
        QCOMPARE(board->items().size(), 32);
        QVERIFY(!first.at(16)->ch1Item());
        QVERIFY(!beyond->ch1Item() && !beyond->ch2Item() && !negative->ch1Item());
        QCOMPARE(tileIn(tab.dashboard(2), 1)->device(), third.at(0));
        QCOMPARE(tileIn(tab.dashboard(2), 9)->device(), third.at(1));
        QCOMPARE(tileIn(tab.dashboard(1), 1)->device(), second);
        QCOMPARE(tab.dashboard(1)->items().size(), 2);
        QVERIFY(tab.dashboard(3)->items().isEmpty());

        // Expansion mode hides only the empty slots.
        tab.resize(900, 500);
        tab.show();
        tab.setEmptySlotsVisible(false);
        for (int n = 1; n <= 32; ++n) {
            auto *slot = tab.dashboard(2)->findChild<QWidget *>(
                QStringLiteral("widget_%1").arg(n, 2, 10, QLatin1Char('0')));
            QCOMPARE(slot->isVisibleTo(tab.dashboard(2)), QList<int>({1, 2, 9, 10}).contains(n));
        }
        tab.setEmptySlotsVisible(true);
        QVERIFY(tab.dashboard(3)->findChild<QWidget *>("widget_32")->isVisibleTo(tab.dashboard(3)));

        QCOMPARE(tab.dashboardName(3), QStringLiteral("Dashboard 4"));
        tab.setDashboardNames({"Lab", "Store"});
        QCOMPARE(tab.dashboardName(1), QStringLiteral("Store"));
        QCOMPARE(tab.dashboardName(2), QStringLiteral("Dashboard 3"));
        tab.setDashboardNames({"A", "B", "C", "D", "E"});
        QCOMPARE(tab.dashboardName(3), QStringLiteral("D"));
        QCOMPARE(tab.findChild<QTabWidget *>()->count(), 4);
    }

    void tilesShowValueUnitNameAndTheColourOfTheirChannelsState()
    {
        DashboardTab tab;
        ConfiguredDevice *device = add("KX0001");
        device->setCh2Unit(4);
        device->setCh2Custom("ppm");
        ConfiguredDevice *unknown = add("KX0002");
        unknown->setCh1Unit(7);
        unknown->setCh2Unit(3);
        unknown->setDeviceName(QString());
        unknown->setCh2Name("Humidity");
        tab.setDeviceList({device, unknown});
        show(&tab);
        TileRefresher *refresher = tab.dashboard(0)->refresher();
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::grey));
        QCOMPARE(textOf(tile(unknown), "label_device"), QStringLiteral("/dev/ttyACM1"));
        QCOMPARE(textOf(tile(unknown), "label_desc"), QStringLiteral("CH1"));
        QCOMPARE(textOf(tile(unknown, false), "label_desc"), QStringLiteral("Humidity"));

        device->setAlarmRange(0.0f, 20.0f, 30.0f, 60.0f);
        device->readMeasureData("23.40,45.10\n");
        unknown->readMeasureData("1.00,2.00\n");
        QSignalSpy flushed(refresher, &TileRefresher::flushed);
        QVERIFY(flushed.wait());
        QCOMPARE(textOf(tile(device), "label_number"), QStringLiteral("23.40"));
        QCOMPARE(textOf(tile(device, false), "label_number"), QStringLiteral("45.10"));
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::alarm));
        QCOMPARE(styleOf(tile(device, false)), QLatin1String(TileStyle::normal));
        QCOMPARE(textOf(tile(device, false), "label_unit"), QStringLiteral("ppm"));
        QCOMPARE(textOf(tile(unknown), "label_unit"), QString());
        QCOMPARE(textOf(tile(unknown, false), "label_unit"), QStringLiteral("%RH"));

        device->setAlarm1(false);
        device->setAlarm2(true);
        tile(device)->setValue("----");
        tile(device, false)->setValue("90.00");
        refresher->flush();
        QCOMPARE(textOf(tile(device), "label_number"), QStringLiteral("----"));
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::normal));
        QCOMPARE(styleOf(tile(device, false)), QLatin1String(TileStyle::alarm));

        // A refresh rereads names and units; a tile without a value stays grey.
        DashBoardDeviceItem shown(device, true), empty(device, false);
        shown.show();
        empty.show();
        shown.setValue("21.00");
        device->setDeviceName("Cold room");
        device->setCh1Name("Air");
        device->setCh1Unit(2);
        device->setAlarm1(true);
        shown.refresh();
        empty.refresh();
        QCOMPARE(textOf(&shown, "label_device"), QStringLiteral("Cold room"));
        QCOMPARE(textOf(&shown, "label_desc"), QStringLiteral("Air"));
        QCOMPARE(textOf(&shown, "label_unit"), QString(QChar(0x00B0)) + QLatin1Char('F'));
        QCOMPARE(styleOf(&shown), QLatin1String(TileStyle::alarm));
        QVERIFY(textOf(&empty, "label_unit").isEmpty());
        QCOMPARE(styleOf(&empty), QLatin1String(TileStyle::grey));
    }

    void aTileFollowsOnlyItsOwnDevicesConnectionAndRefitsOnlyOnNewLengths()
    {
        ConfiguredDevice *device = add("KX0001");
        DashBoardDeviceItem tile(device, true);
        tile.show();
        tile.deviceConnected("KX0002");
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::grey));
        device->setAlarm1(true);
        tile.deviceConnected("KX0001");
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::normal));
        tile.setValue("99.00");
        tile.deviceDisconnected("KX0002");
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::alarm));
        // It answered before: "no communication", not the grey of a logger never heard from.
        tile.deviceDisconnected("KX0001");
        QCOMPARE(styleOf(&tile), QLatin1String(TileStyle::noCommunication));
        QCOMPARE(textOf(&tile, "label_number"), QStringLiteral("NO COMM"));
        QVERIFY(textOf(&tile, "label_unit").isEmpty());
        DashBoardDeviceItem fresh(device, false);
        fresh.deviceDisconnected("KX0001");
        QCOMPARE(styleOf(&fresh), QLatin1String(TileStyle::grey));

        DashBoardDeviceItem sized(device, true);
        sized.resize(240, 180);
        sized.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sized));
        auto *number = sized.findChild<QLabel *>(QStringLiteral("label_number"));
        QFont marker = number->font();
        marker.setPointSizeF(3.0);
        sized.setValue("9.99");
        number->setFont(marker);
        sized.setValue("10.00");
        QVERIFY(number->font().pointSizeF() > 3.5);
        number->setFont(marker);
        sized.setValue("12.34");
        QCOMPARE(number->font().pointSizeF(), 3.0);
    }

    void tilesAndViewsOutliveOrForgetTheirDevicesSafely()
    {
        auto tab = std::make_unique<DashboardTab>();
        const QList<ConfiguredDevice *> devices = addMany(3);
        tab->setDeviceList(devices);
        show(tab.get());
        QSignalSpy clicked(tab.get(), &DashboardTab::deviceClicked);
        QTest::mouseClick(tile(devices[1], false), Qt::RightButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).value<ConfiguredDevice *>(), devices[1]);

        DashBoardDeviceItem none(nullptr, true);
        QSignalSpy noneClicked(&none, &DashBoardDeviceItem::clicked);
        none.show();
        QVERIFY(!none.findChild<QFrame *>(QStringLiteral("frame_ch"))->isVisible());
        QTest::mouseClick(&none, Qt::LeftButton);
        none.setValue("1.00");
        none.refresh();
        QCOMPARE(noneClicked.count(), 0);

        // A device deleted first leaves its tile without device and silent.
        DashBoardDeviceItem *orphan = tile(devices[0]);
        m_devices.remove(0);
        QVERIFY(!orphan->device());
        QTest::mouseClick(orphan, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        // A newer page that took a device over keeps its tiles when the old page goes.
        DashBoardDeviceItem newer1(devices[2], true), newer2(devices[2], false);
        devices[2]->setDashboardItems(&newer1, &newer2);
        tab.reset();
        QVERIFY(!devices[1]->ch1Item() && !devices[1]->ch2Item());
        QCOMPARE(devices[2]->ch1Item(), &newer1);
    }

    // Replies that arrive one by one within a poll cycle repaint the dashboard once; a dashboard
    // that is not shown lays out, fits and paints nothing, and catches up when shown.
    void dashboardsRepaintOncePerCycleAndOnlyWhenShown()
    {
        DashboardTab tab;
        const QList<ConfiguredDevice *> devices = addMany(16);
        ConfiguredDevice *back = add("KX0902", 1);
        back->setAlarmRange(0.0f, 20.0f, 0.0f, 100.0f);
        tab.setDeviceList(m_devices.list());
        show(&tab);
        QSignalSpy flushed(tab.dashboard(0)->refresher(), &TileRefresher::flushed);
        PaintCounter counter;
        tab.installEventFilter(&counter);
        // The first frames of a new window are not the dashboard's doing.
        QTest::qWait(100);
        counter.repaints = 0;
        for (ConfiguredDevice *device : devices) {
            device->readMeasureData("21.50,55.00\n");
            QCoreApplication::processEvents();
        }
        QVERIFY(flushed.wait());
        QTRY_VERIFY(counter.repaints > 0);
        QCoreApplication::processEvents();
        QCOMPARE(counter.repaints, 1);
        QCOMPARE(flushed.count(), 1);
        QCOMPARE(flushed.first().first().toInt(), 32);
        QCOMPARE(textOf(tile(devices.last(), false), "label_number"), QStringLiteral("55.00"));
        // New values of the same length repaint their labels; nothing in the tiles asks the
        // window for a new layout.
        // Let the first values' layout settle, up the tile's layouts to the window.
        for (int level = 0; level < 8; ++level)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QWidget *widget : tab.findChildren<QWidget *>())
            widget->installEventFilter(&counter);
        counter.layouts = 0;
        for (ConfiguredDevice *device : devices)
            device->readMeasureData("21.60,55.10\n");
        QVERIFY(flushed.wait());
        QCoreApplication::processEvents();
        QCOMPARE(textOf(tile(devices.last(), false), "label_number"), QStringLiteral("55.10"));
        QCOMPARE(counter.layouts, 0);

        auto *number = tile(back)->findChild<QLabel *>(QStringLiteral("label_number"));
        QFont marker = number->font();
        marker.setPointSizeF(3.0);
        number->setFont(marker);
        counter.painted = number;
        number->installEventFilter(&counter);
        back->readMeasureData("9.99,40.00\n");
        back->readMeasureData("23.40,41.00\n");
        QVERIFY(tile(back)->hasPending());
        QVERIFY(!tab.dashboard(1)->refresher()->isPending(tile(back)));
        QVERIFY(number->text().isEmpty());
        QCOMPARE(number->font().pointSizeF(), 3.0);
        QCOMPARE(styleOf(tile(back)), QLatin1String(TileStyle::grey));
        tab.findChild<QTabWidget *>()->setCurrentIndex(1);
        QCOMPARE(number->text(), QStringLiteral("23.40"));
        QVERIFY(number->font().pointSizeF() > 3.5);
        QCOMPARE(styleOf(tile(back)), QLatin1String(TileStyle::alarm));
        QTRY_VERIFY(counter.paints > 0);
        QVERIFY(!tile(back)->hasPending());
    }

    void theProjectCentreSwitchesBetweenDashboardsAndOneLoggersDetail()
    {
        const QString longName =
            "Dispatch dock north gate chiller, second rack, upper shelf, left of the door";
        ConfiguredDevice *usb = m_devices.add("KX0001", LINK_SERIAL, longName, "/dev/ttyACM0");
        ConfiguredDevice *lan = m_devices.add("024B58000001", LINK_TCP, QString(), "127.0.0.1");
        ConfiguredDevice *spare = m_devices.add("KX0003", LINK_NONE, "Spare", "127.0.0.1", 23, 4);
        auto center = std::make_unique<ProjectCenter>("/tmp/cold.store.tpc");
        center->setDeviceList(m_devices.list());
        show(center.get());
        QApplication::processEvents();
        center->slotPopupSensingOption();
        auto *list = center->projectList()->findChild<QListWidget *>("list_project");
        QCOMPARE(center->projectName(), QStringLiteral("cold"));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(), QStringLiteral("024B58000001"));
        QCOMPARE(list->item(1)->toolTip(), QStringLiteral("127.0.0.1"));
        QCOMPARE(center->projectList()->icons()->item(spare), list->item(2));
        QVERIFY(!spare->ch1Item());
        // A long name ends in an ellipsis everywhere and leaves the tiles equal.
        QCOMPARE(tile(usb)->width(), tile(lan)->width());
        auto *tileName = tile(usb)->findChild<ElidedLabel *>(QStringLiteral("label_device"));
        QVERIFY(tileName->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(tileName->toolTip(), longName);
        QVERIFY(list->visualItemRect(list->item(0)).right() < list->viewport()->width());
        QCOMPARE(list->textElideMode(), Qt::ElideRight);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QApplication::processEvents();
        QVERIFY(!center->isDashboardMode());
        QCOMPARE(center->currentDevice(), usb);
        QVERIFY(center->chartView()->isVisible() && !center->dashboardTab()->isVisible());
        QCOMPARE(usb->chartView(), center->chartView());
        auto *header = center->chartView()->findChild<ElidedLabel *>("label_device");
        QVERIFY(header->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(header->text(), longName);

        // Another logger takes the detail view over; its tiles catch up once shown.
        emit center->dashboardTab()->deviceClicked(lan);
        QVERIFY(!usb->chartView());
        QCOMPARE(lan->chartView(), center->chartView());
        QVERIFY(center->projectList()->item(lan)->isSelected());
        QVERIFY(!center->projectList()->item(usb)->isSelected());
        lan->readMeasureData("23.40,45.10\n");
        QVERIFY(tile(lan, false)->hasPending());
        // Picking the shown logger again does nothing until the dashboards are back.
        lan->clearChartView();
        center->slotDeviceClicked(lan);
        QVERIFY(!lan->chartView());

        lan->setDeviceName("Freezer");
        QTest::mouseClick(center->projectList()->findChild<QToolButton *>("button_project"),
                          Qt::LeftButton);
        QVERIFY(center->isDashboardMode());
        QVERIFY(center->dashboardTab()->isVisible() && !center->chartView()->isVisible());
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(textOf(tile(lan, false), "label_number"), QStringLiteral("45.10"));
        QCOMPARE(textOf(tile(lan), "label_device"), QStringLiteral("Freezer"));
        QTest::mouseClick(tile(lan), Qt::LeftButton);
        QVERIFY(!center->isDashboardMode());
        QCOMPARE(lan->chartView(), center->chartView());

        // The option and network buttons open the dialog of the link type, none for no link.
        center->slotDeviceClicked(spare);
        center->slotPopupSensingOption();
        QCOMPARE(center->findChildren<QDialog *>().size(), 0);
        center->slotDeviceClicked(lan);
        emit center->chartView()->popupSensingOption();
        emit center->chartView()->popupNetworkSetting();
        QCOMPARE(center->findChildren<SensingOptionTelnetDialog *>().size(), 1);
        QCOMPARE(center->findChildren<NetworkSettingDialog *>().size(), 1);
        center->slotDeviceClicked(usb);
        emit center->chartView()->popupNetworkSetting();
        QCOMPARE(center->findChildren<NetworkSettingDialog *>().size(), 1);
        emit center->chartView()->popupSensingOption();
        auto *dialog = center->findChild<SensingOptionUsbDialog *>();
        QVERIFY(dialog);
        // Confirming rechecks the alarms, renames everywhere and asks to save.
        usb->readMeasureData("23.40,45.10\n");
        QVERIFY(!usb->alarm1());
        QSignalSpy save(center.get(), &ProjectCenter::updateProjectFile);
        usb->setAlarmRange(0.0f, 20.0f, 0.0f, 0.0f);
        usb->setDeviceName("Freezer");
        emit dialog->sensingConfirm();
        QCOMPARE(save.count(), 1);
        QVERIFY(usb->alarm1() && !usb->alarm2());
        QCOMPARE(center->projectList()->item(usb)->text(), QStringLiteral("Freezer"));
        QCOMPARE(textOf(center->chartView(), "label_ch1_device"), QStringLiteral("Freezer"));

        // Going, the centre leaves no logger with a pointer into it.
        center.reset();
        for (const ConfiguredDevice *device : m_devices.list())
            QVERIFY(!device->ch1Item() && !device->ch2Item() && !device->chartView());
        usb->deviceConnected();
    }

    void theDatabaseSizeTurnsRedFromThreeGibibytes()
    {
        ProjectCenter center("/tmp/cold.tpc");
        QLabel *bytes = center.findChild<QLabel *>("label_record_bytes");
        for (const auto &[size, text, colour] :
             {std::tuple{3221225471LL, "Database 3072.00MB", "192,192,192"},
              {3221225472LL, "Database 3072.00MB", "230,80,80"},
              {1572864LL, "Database 1.50MB", "192,192,192"}}) {
            center.setDatabaseSize(size);
            QCOMPARE(bytes->text(), QString(text));
            QCOMPARE(bytes->styleSheet(),
                     QStringLiteral("color:rgb(%1);background-color:transparent;").arg(colour));
        }
    }

    void aListEntryShowsDisconnectedUntilTheNextConnectionReport()
    {
        ConfiguredDevice device("KX0001", LINK_SERIAL);
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

        // Every reply reports the link; only a change may touch the list's entries.
        QListWidget list;
        icons.attach(&device, new QListWidgetItem(&list));
        device.deviceConnected();
        QSignalSpy entryChanges(list.model(), &QAbstractItemModel::dataChanged);
        device.deviceConnected();
        QCOMPARE(entryChanges.count(), 0);
    }

    void everyTextReadsOnTheDarkLook()
    {
        DarkLook::apply(qApp);
        const QStringList names{"Cold rooms", "Freezers", "Dock", "Office"};
        m_devices.add("KX0001", LINK_SERIAL, "Cold room", "/dev/ttyACM0");
        m_devices.add("024B58000001", LINK_TCP, "Freezer", "127.0.0.1", 23, 1);
        m_devices.add("KX0003", LINK_TCP, QString(), "127.0.0.2", 23, 0);
        QStringList failures;
        {
            ProjectManager panel;
            AvailableDevice usb{"KX0009", "/dev/ttyACM1", 23, LINK_SERIAL};
            AvailableDevice lan{"024B58000009", "10.0.0.9", 23, LINK_TCP};
            panel.setConfiguredDeviceList(m_devices.list());
            panel.setAvailDeviceList({&usb, &lan});
            panel.setDashboardNames(names);
            panel.findChild<QListWidget *>("configured_list_1")->item(0)->setSelected(true);
            panel.resize(1152, 620);
            failures << unreadableTexts(&panel);
        }
        {
            ProjectCenter center("/tmp/cold.tpc");
            center.setDeviceList(m_devices.list());
            center.setDashboardNames(names);
            center.setRecordTimes("2024-05-14 08:00:00", "2024-05-14 14:32:10");
            center.setDatabaseSize(3 * 1048576);
            center.resize(1152, 620);
            // Tiles in range, in alarm and without an answer; then one logger's detail view.
            m_devices.at(1)->setAlarmRange(-30.0f, -20.0f, 0.0f, 100.0f);
            m_devices.at(0)->readMeasureData("4.20,71.00\n");
            m_devices.at(1)->readMeasureData("-18.40,55.10\n");
            failures << unreadableTexts(&center);
            center.slotDeviceClicked(m_devices.at(0));
            failures << unreadableTexts(&center);
        }
        const std::unique_ptr<QDialog> dialogs[] = {
            std::make_unique<SensingOptionUsbDialog>(m_devices.at(0)),
            std::make_unique<SensingOptionTelnetDialog>(m_devices.at(1)),
            std::make_unique<ManualConfigDeviceDialog>(),
            std::make_unique<NetworkSettingDialog>(m_devices.at(1)),
            std::make_unique<MessageDialog>("WARNING", "Unable to save the project file.")};
        for (const auto &dialog : dialogs)
            failures << unreadableTexts(dialog.get());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }
};

QTEST_MAIN(TestBoards)
#include "tst_boards.moc"
