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
    return tile->findChild<QFrame *>("frame_value")->styleSheet();
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
    const auto lin = [](double s) {
        return s <= 0.03928 ? s / 12.92 : qPow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
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
        for (int i = 0; i < r.width() * r.height(); ++i)
            box.append(QColor(shot.pixel(r.left() + i % r.width(), r.top() + i / r.width())));
        if (box.isEmpty())
            return;
        std::sort(box.begin(), box.end(),
                  [](auto &a, auto &b) { return luminance(a) < luminance(b); });
        const QColor back = box.at(box.size() / 2);
        if (!text.isValid())
            text =
                contrast(box.first(), back) > contrast(box.last(), back) ? box.first() : box.last();
        if (contrast(text, back) < 4.5)
            failures << widget->objectName() + " \"" + what +
                            "\": " + QString::number(contrast(text, back));
    };
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window) || widget->window() != window)
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

    void devicesFillColumnPairsOfTheirOwnDashboardUpToSixteenAndRepaintOncePerCycle()
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

        // Replies that arrive one by one within a poll cycle repaint the dashboard once; a
        // dashboard that is not shown lays out, fits and paints nothing, and catches up when shown.
        const QList<ConfiguredDevice *> devices = first.mid(0, 16);
        ConfiguredDevice *back = second;
        back->setAlarmRange(0.0f, 20.0f, 0.0f, 100.0f);
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
        QCOMPARE(textOf(tile(devices.last(), false), "label_number"), "55.00");
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
        QCOMPARE(textOf(tile(devices.last(), false), "label_number"), "55.10");
        QCOMPARE(counter.layouts, 0);

        auto *number = tile(back)->findChild<QLabel *>("label_number");
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
        QCOMPARE(number->text(), "23.40");
        QVERIFY(number->font().pointSizeF() > 3.5);
        QCOMPARE(styleOf(tile(back)), QLatin1String(TileStyle::alarm));
        QTRY_VERIFY(counter.paints > 0);
        QVERIFY(!tile(back)->hasPending());

        // Expansion mode hides only the empty slots.
        tab.setEmptySlotsVisible(false);
        for (int n = 1; n <= 32; ++n) {
            auto *slot = tab.dashboard(2)->findChild<QWidget *>(
                QStringLiteral("widget_%1").arg(n, 2, 10, QLatin1Char('0')));
            QCOMPARE(slot->isVisibleTo(tab.dashboard(2)), QList<int>({1, 2, 9, 10}).contains(n));
        }
        tab.setEmptySlotsVisible(true);
        QVERIFY(tab.dashboard(3)->findChild<QWidget *>("widget_32")->isVisibleTo(tab.dashboard(3)));

        tab.setDashboardNames({"Lab", "Store"});
        QCOMPARE(tab.dashboardName(2), "Dashboard 3");
        tab.setDashboardNames({"A", "B", "C", "D", "E"});
        QCOMPARE(tab.dashboardName(3), "D");
        QCOMPARE(tab.findChild<QTabWidget *>()->count(), 4);
    }

    void tilesShowTheirChannelsStateRefitOnNewLengthsAndOutliveTheirDevicesSafely()
    {
        auto tab = std::make_unique<DashboardTab>();
        ConfiguredDevice *device = add("KX0001");
        device->setCh2Unit(4);
        device->setCh2Custom("ppm");
        ConfiguredDevice *unknown = add("KX0002");
        unknown->setCh1Unit(7);
        unknown->setCh2Unit(3);
        unknown->setDeviceName(QString());
        unknown->setCh2Name("Humidity");
        ConfiguredDevice *third = add("KX0003");
        tab->setDeviceList(m_devices.list());
        show(tab.get());
        TileRefresher *refresher = tab->dashboard(0)->refresher();
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::grey));
        QCOMPARE(textOf(tile(unknown), "label_device"), "/dev/ttyACM1");
        QCOMPARE(textOf(tile(unknown), "label_desc"), "CH1");
        QCOMPARE(textOf(tile(unknown, false), "label_desc"), "Humidity");

        device->setAlarmRange(0.0f, 20.0f, 30.0f, 60.0f);
        device->readMeasureData("23.40,45.10\n");
        unknown->readMeasureData("1.00,2.00\n");
        QSignalSpy flushed(refresher, &TileRefresher::flushed);
        QVERIFY(flushed.wait());
        QCOMPARE(textOf(tile(device), "label_number"), "23.40");
        QCOMPARE(textOf(tile(device, false), "label_number"), "45.10");
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::alarm));
        QCOMPARE(styleOf(tile(device, false)), QLatin1String(TileStyle::normal));
        QCOMPARE(textOf(tile(device, false), "label_unit"), "ppm");
        QCOMPARE(textOf(tile(unknown), "label_unit"), QString());
        QCOMPARE(textOf(tile(unknown, false), "label_unit"), "%RH");

        device->setAlarm1(false);
        device->setAlarm2(true);
        tile(device)->setValue("----");
        tile(device, false)->setValue("90.00");
        refresher->flush();
        QCOMPARE(textOf(tile(device), "label_number"), "----");
        QCOMPARE(styleOf(tile(device)), QLatin1String(TileStyle::normal));
        QCOMPARE(styleOf(tile(device, false)), QLatin1String(TileStyle::alarm));

        // A refresh rereads names and units; a tile without a value stays grey.
        DashBoardDeviceItem shown(device, true), empty(device, false);
        shown.show();
        empty.show();
        shown.setValue("21.00");
        device->setCh1Name("Air");
        device->setCh1Unit(2);
        device->setAlarm1(true);
        shown.refresh();
        empty.refresh();
        QCOMPARE(textOf(&shown, "label_desc") + textOf(&shown, "label_unit"), "Air\u00B0F");
        QCOMPARE(styleOf(&shown), QLatin1String(TileStyle::alarm));
        QVERIFY(textOf(&empty, "label_unit").isEmpty());
        QCOMPARE(styleOf(&empty), QLatin1String(TileStyle::grey));

        // A tile follows only its own device's connection and refits only on new lengths.
        ConfiguredDevice *own = add("KX0004");
        DashBoardDeviceItem single(own, true);
        single.show();
        single.deviceConnected("KX0005");
        QCOMPARE(styleOf(&single), QLatin1String(TileStyle::grey));
        own->setAlarm1(true);
        single.deviceConnected("KX0004");
        QCOMPARE(styleOf(&single), QLatin1String(TileStyle::normal));
        single.setValue("99.00");
        single.deviceDisconnected("KX0005");
        QCOMPARE(styleOf(&single), QLatin1String(TileStyle::alarm));
        // It answered before: "no communication", not the grey of a logger never heard from.
        single.deviceDisconnected("KX0004");
        QCOMPARE(styleOf(&single), QLatin1String(TileStyle::noCommunication));
        QCOMPARE(textOf(&single, "label_number"), "NO COMM");
        QVERIFY(textOf(&single, "label_unit").isEmpty());
        DashBoardDeviceItem fresh(own, false);
        fresh.deviceDisconnected("KX0004");
        QCOMPARE(styleOf(&fresh), QLatin1String(TileStyle::grey));

        single.resize(240, 180);
        QVERIFY(QTest::qWaitForWindowExposed(&single));
        auto *number = single.findChild<QLabel *>("label_number");
        QFont marker = number->font();
        marker.setPointSizeF(3.0);
        number->setFont(marker);
        single.setValue("10.00");
        QVERIFY(number->font().pointSizeF() > 3.5);
        number->setFont(marker);
        single.setValue("12.34");
        QCOMPARE(number->font().pointSizeF(), 3.0);
        // A list entry shows "disconnected" until the next connection report.
        DeviceListIcons icons;
        QListWidgetItem item;
        own->deviceConnected();
        icons.attach(own, &item);
        const auto shows = [&](const QIcon &icon) {
            return item.icon().cacheKey() == icon.cacheKey();
        };
        QVERIFY(shows(icons.disconnectedIcon()) && !shows(icons.connectedIcon()));
        own->deviceConnected();
        QVERIFY(shows(icons.connectedIcon()));
        icons.detach(own);
        own->deviceDisconnected();
        QVERIFY(shows(icons.connectedIcon()));

        QSignalSpy clicked(tab.get(), &DashboardTab::deviceClicked);
        QTest::mouseClick(tile(unknown, false), Qt::RightButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).value<ConfiguredDevice *>(), unknown);
        DashBoardDeviceItem none(nullptr, true);
        QSignalSpy noneClicked(&none, &DashBoardDeviceItem::clicked);
        none.show();
        QVERIFY(!none.findChild<QFrame *>("frame_ch")->isVisible());
        QTest::mouseClick(&none, Qt::LeftButton);
        none.setValue("1.00");
        none.refresh();
        QCOMPARE(noneClicked.count(), 0);
        // A device deleted first leaves its tile without device and silent.
        DashBoardDeviceItem *orphan = tile(device);
        m_devices.remove(0);
        QVERIFY(!orphan->device());
        QTest::mouseClick(orphan, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        // A newer page that took a device over keeps its tiles when the old page goes.
        DashBoardDeviceItem newer1(third, true), newer2(third, false);
        third->setDashboardItems(&newer1, &newer2);
        tab.reset();
        QVERIFY(!unknown->ch1Item() && !unknown->ch2Item());
        QCOMPARE(third->ch1Item(), &newer1);
    }

    // Last, as the dark look stays on: every text of the centre, its dialogs and the panel reads
    // on it, in every state of the tiles.
    void theProjectCentreSwitchesBetweenDashboardsAndOneLoggersDetailReadablyOnTheDarkLook()
    {
        DarkLook::apply(qApp);
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
        QCOMPARE(center->projectName(), "cold");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(1)->text(), "024B58000001");
        QCOMPARE(list->item(1)->toolTip(), "127.0.0.1");
        QCOMPARE(center->projectList()->icons()->item(spare), list->item(2));
        QVERIFY(!spare->ch1Item());
        // A long name ends in an ellipsis everywhere and leaves the tiles equal.
        QCOMPARE(tile(usb)->width(), tile(lan)->width());
        auto *tileName = tile(usb)->findChild<ElidedLabel *>("label_device");
        QVERIFY(tileName->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(tileName->toolTip(), longName);
        QVERIFY(list->visualItemRect(list->item(0)).right() < list->viewport()->width());

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
        QCOMPARE(textOf(tile(lan, false), "label_number"), "45.10");
        QCOMPARE(textOf(tile(lan), "label_device"), "Freezer");
        QStringList failures = unreadableTexts(center.get());
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
        QCOMPARE(center->projectList()->item(usb)->text(), "Freezer");
        QCOMPARE(textOf(center->chartView(), "label_ch1_device"), "Freezer");
        failures << unreadableTexts(center.get());
        MessageDialog message("WARNING", "Unable to save the project file.");
        ManualConfigDeviceDialog manual;
        SensingOptionUsbDialog usbOptions(usb);
        SensingOptionTelnetDialog lanOptions(lan);
        NetworkSettingDialog network(lan);
        for (QDialog *dialog :
             QList<QDialog *>{&message, &manual, &usbOptions, &lanOptions, &network})
            failures << unreadableTexts(dialog);
        // The database size turns red from three gibibytes.
        for (const auto &[size, text, colour] :
             {std::tuple{3221225471LL, "Database 3072.00MB", "192,192,192"},
              {3221225472LL, "Database 3072.00MB", "230,80,80"},
              {1572864LL, "Database 1.50MB", "192,192,192"}}) {
            center->setDatabaseSize(size);
            QCOMPARE(textOf(center.get(), "label_record_bytes"), QString(text));
            QCOMPARE(center->findChild<QLabel *>("label_record_bytes")->styleSheet(),
                     QStringLiteral("color:rgb(%1);background-color:transparent;").arg(colour));
        }

        QTest::mouseClick(center->projectList()->findChild<QToolButton *>("button_project"),
                          Qt::LeftButton);
        failures << unreadableTexts(center.get());

        // Going, the centre leaves no logger with a pointer into it.
        center.reset();
        for (const ConfiguredDevice *device : m_devices.list())
            QVERIFY(!device->ch1Item() && !device->ch2Item() && !device->chartView());
        usb->deviceConnected();

        ProjectManager panel;
        AvailableDevice usbFound{"KX0009", "/dev/ttyACM1", 23, LINK_SERIAL};
        AvailableDevice lanFound{"024B58000009", "10.0.0.9", 23, LINK_TCP};
        panel.setConfiguredDeviceList(m_devices.list());
        panel.setAvailDeviceList({&usbFound, &lanFound});
        panel.setDashboardNames({"Cold rooms", "Freezers", "Dock", "Office"});
        panel.findChild<QListWidget *>("configured_list_1")->item(0)->setSelected(true);
        panel.resize(1152, 620);
        failures << unreadableTexts(&panel);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }
};

QTEST_MAIN(TestBoards)
#include "tst_boards.moc"
