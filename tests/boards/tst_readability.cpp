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

QList<QColor> pixels(const QImage &shot, const QRect &rect)
{
    QList<QColor> result;
    const QRect r = rect.intersected(shot.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            result.append(QColor(shot.pixel(x, y)));
    return result;
}

// Every visible label, line edit, list entry, tab caption and drop-down text of the window
// under 4.5:1. The text colour is the one in effect after polish (palette or style sheet); the
// background is the rendered pixel of median luminance in the text's box (most of a box is
// background, also over a gradient).
QStringList unreadableTexts(QWidget *window)
{
    window->show();
    QApplication::sendPostedEvents(); // lays out views shown a moment ago
    const QImage shot = window->grab().toImage();
    QStringList failures;
    auto check = [&](const QWidget *widget, const QRect &local, QColor text, const QString &what) {
        QList<QColor> box =
            pixels(shot, QRect(widget->mapTo(window, local.topLeft()) * shot.devicePixelRatio(),
                               local.size() * shot.devicePixelRatio()));
        if (box.isEmpty())
            return;
        std::sort(box.begin(), box.end(),
                  [](const QColor &a, const QColor &b) { return luminance(a) < luminance(b); });
        const QColor back = box.at(box.size() / 2);
        // A style sheet's tab colour is not in the palette: the caption as drawn, its pixel
        // furthest from the background.
        if (!text.isValid())
            text =
                contrast(box.first(), back) > contrast(box.last(), back) ? box.first() : box.last();
        if (contrast(text, back) < 4.5)
            failures << QStringLiteral("%1 \"%2\": %3")
                            .arg(widget->objectName(), what)
                            .arg(contrast(text, back));
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
                failures << combo->objectName() + QStringLiteral(" drop-down list");
        } else if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                check(tabs, tabs->tabRect(i), QColor(), tabs->tabText(i));
        } else if (auto *list = qobject_cast<QListWidget *>(widget)) {
            for (int i = 0; i < list->count(); ++i) {
                const QListWidgetItem *item = list->item(i);
                check(list->viewport(), list->visualItemRect(item),
                      pal.color(item->isSelected() ? QPalette::HighlightedText : QPalette::Text),
                      item->text());
            }
        }
    }
    return failures;
}

} // namespace

class ReadabilityTest : public QObject
{
    Q_OBJECT

    DeviceFactory m_devices;
    const QStringList m_names{"Cold rooms", "Freezers", "Dock", "Office"};

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
        AvailableDevice usb{"KX0009", "/dev/ttyACM1", 23, LINK_SERIAL};
        AvailableDevice lan{"024B58000009", "10.0.0.9", 23, LINK_TCP};
        panel.setConfiguredDeviceList(m_devices.list());
        panel.setAvailDeviceList({&usb, &lan});
        panel.setDashboardNames(m_names);
        panel.findChild<QListWidget *>("configured_list_1")->item(0)->setSelected(true);
        panel.resize(1152, 620);
        const QStringList failures = unreadableTexts(&panel);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }

    void theProjectCentreReads()
    {
        ProjectCenter center(QStringLiteral("/tmp/cold.tpc"));
        center.setDeviceList(m_devices.list());
        center.setDashboardNames(m_names);
        center.setRecordTimes("2024-05-14 08:00:00", "2024-05-14 14:32:10");
        center.setDatabaseSize(3 * 1048576);
        center.resize(1152, 620);
        // Tiles in range, in alarm and without an answer; then one logger's detail view.
        m_devices.at(1)->setAlarmRange(-30.0f, -20.0f, 0.0f, 100.0f);
        m_devices.at(0)->readMeasureData("4.20,71.00\n");
        m_devices.at(1)->readMeasureData("-18.40,55.10\n");
        QStringList failures = unreadableTexts(&center);
        center.slotDeviceClicked(m_devices.at(0));
        failures << unreadableTexts(&center);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }

    void theDialogsRead()
    {
        ConfiguredDevice *usb = m_devices.at(0);
        ConfiguredDevice *lan = m_devices.at(1);
        const std::unique_ptr<QDialog> dialogs[] = {
            std::make_unique<SensingOptionUsbDialog>(usb),
            std::make_unique<SensingOptionTelnetDialog>(lan),
            std::make_unique<ManualConfigDeviceDialog>(),
            std::make_unique<NetworkSettingDialog>(lan),
            std::make_unique<MessageDialog>("WARNING", "Unable to save the project file.")};
        QStringList failures;
        for (const auto &dialog : dialogs)
            failures << unreadableTexts(dialog.get());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    }
};

QTEST_MAIN(ReadabilityTest)
#include "tst_readability.moc"
