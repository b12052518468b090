#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "discovery/availabledevice.h"
#include "project/manualconfigdevicedialog.h"
#include "project/messagedialog.h"
#include "project/networksettingdialog.h"
#include "project/projectmanager.h"
#include "tests/support/devicefactory.h"
#include "view/darklook.h"
#include "view/projectcenter.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTest>
#include <QtMath>

#include <algorithm>
#include <memory>

namespace {

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : qPow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &c)
{
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// Most of a text's box is background: the pixel of median luminance is one of them, also
// where the background is a gradient.
QColor background(const QImage &shot, const QRect &rect)
{
    std::vector<QRgb> pixels;
    const QRect r = rect.intersected(shot.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            pixels.push_back(shot.pixel(x, y));
    if (pixels.empty())
        return QColor();
    auto middle = pixels.begin() + std::ptrdiff_t(pixels.size() / 2);
    std::nth_element(pixels.begin(), middle, pixels.end(),
                     [](QRgb a, QRgb b) { return luminance(QColor(a)) < luminance(QColor(b)); });
    return QColor(*middle);
}

// The pixel that stands out most from the background: the core of the drawn letters.
QColor drawnText(const QImage &shot, const QRect &rect, const QColor &back)
{
    QColor best = back;
    const QRect r = rect.intersected(shot.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (contrast(QColor(shot.pixel(x, y)), back) > contrast(best, back))
                best = QColor(shot.pixel(x, y));
    return best;
}

// Every visible text of the window as "where: ratio" for those under 4.5:1, with the text
// colour from the palette in effect after polish and the background as rendered.
QStringList unreadableTexts(QWidget *window)
{
    // Views shown a moment ago are laid out by posted events.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    const QImage shot = window->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("READABILITY_SHOTS"))
        shot.save(qEnvironmentVariable("READABILITY_SHOTS") + "/" +
                  window->metaObject()->className() +
                  QString::number(window->findChildren<QWidget *>().size()) + ".png");
    const qreal scale = shot.devicePixelRatio();
    QStringList failures;
    auto check = [&](const QWidget *widget, const QRect &local, const QColor &text,
                     const QString &what) {
        const QRect box(widget->mapTo(window, local.topLeft()) * scale, local.size() * scale);
        const QColor back = background(shot, box);
        const double ratio = contrast(text.isValid() ? text : drawnText(shot, box, back), back);
        if (ratio < 4.5)
            failures << QStringLiteral("%1 \"%2\": %3").arg(widget->objectName(), what).arg(ratio);
    };
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window) || widget->visibleRegion().isEmpty())
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
                failures << combo->objectName() + QStringLiteral(" drop-down list");
        } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            // A style sheet's tab colour is not in the palette: take the caption as drawn.
            for (int i = 0; i < tabs->count(); ++i)
                check(tabs, tabs->tabRect(i), QColor(), tabs->tabText(i));
        } else if (auto *list = qobject_cast<QListWidget *>(widget)) {
            for (int i = 0; i < list->count(); ++i) {
                const QListWidgetItem *item = list->item(i);
                const QColor text = item->isSelected() ? pal.color(QPalette::HighlightedText)
                                    : item->foreground().style() != Qt::NoBrush
                                        ? item->foreground().color()
                                        : pal.color(QPalette::Text);
                check(list->viewport(), list->visualItemRect(item), text, item->text());
            }
        }
    }
    return failures;
}

AvailableDevice available(const QString &id, const QString &address, int kind)
{
    AvailableDevice device;
    device.id = id;
    device.address = address;
    device.kind = kind;
    return device;
}

} // namespace

class ReadabilityTest : public QObject
{
    Q_OBJECT

    DeviceFactory m_devices;

private slots:
    void initTestCase()
    {
        DarkLook::apply(qApp);
        m_devices.add("KX0001", LINK_SERIAL, "Cold room", "/dev/ttyACM0");
        m_devices.add("024B58000001", LINK_TCP, "Freezer", "127.0.0.1", 23, 1);
        m_devices.add("KX0003", LINK_TCP, QString(), "127.0.0.2", 23, 0);
    }

    void theDeviceConfigurationPanelReads()
    {
        ProjectManager panel;
        AvailableDevice usb = available("KX0009", "/dev/ttyACM1", LINK_SERIAL);
        AvailableDevice lan = available("024B58000009", "10.0.0.9", LINK_TCP);
        panel.setConfiguredDeviceList(m_devices.list());
        panel.setAvailDeviceList({&usb, &lan});
        panel.setDashboardNames({"Cold rooms", "Freezers", "Dock", "Office"});
        panel.findChild<QListWidget *>("configured_list_1")->item(0)->setSelected(true);
        panel.resize(1152, 620);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const QStringList failures = unreadableTexts(&panel);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }

    void theProjectCentreReads()
    {
        ProjectCenter center(QStringLiteral("/tmp/cold.tpc"));
        center.setDeviceList(m_devices.list());
        center.setDashboardNames({"Cold rooms", "Freezers", "Dock", "Office"});
        center.setRecordTimes("2024-05-14 08:00:00", "2024-05-14 14:32:10");
        center.setDatabaseSize(3 * 1048576);
        center.resize(1152, 620);
        center.show();
        QVERIFY(QTest::qWaitForWindowExposed(&center));
        // Tiles in range, in alarm and without an answer.
        m_devices.at(1)->setAlarmRange(-30.0f, -20.0f, 0.0f, 100.0f);
        m_devices.at(0)->readMeasureData("4.20,71.00\n");
        m_devices.at(1)->readMeasureData("-18.40,55.10\n");
        QStringList failures = unreadableTexts(&center);
        center.slotDeviceClicked(m_devices.at(0));
        failures << unreadableTexts(&center);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }

    void theDialogsRead_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("USB logger options") << 0;
        QTest::newRow("network logger options") << 1;
        QTest::newRow("manual network logger") << 2;
        QTest::newRow("network information") << 3;
        QTest::newRow("timed message") << 4;
    }

    void theDialogsRead()
    {
        QFETCH(int, which);
        ConfiguredDevice *device = m_devices.at(which == 0 ? 0 : 1);
        std::unique_ptr<QDialog> dialog;
        if (which == 0)
            dialog = std::make_unique<SensingOptionUsbDialog>(device);
        else if (which == 1)
            dialog = std::make_unique<SensingOptionTelnetDialog>(device);
        else if (which == 2)
            dialog = std::make_unique<ManualConfigDeviceDialog>();
        else if (which == 3)
            dialog = std::make_unique<NetworkSettingDialog>(device);
        else
            dialog = std::make_unique<MessageDialog>("WARNING", "Unable to save the project file.");
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QStringList failures = unreadableTexts(dialog.get());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }
};

QTEST_MAIN(ReadabilityTest)
#include "tst_readability.moc"
