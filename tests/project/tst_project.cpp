#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "project/filechooser.h"
#include "project/manualconfigdevicedialog.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "tests/support/devicefactory.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/widgetfinder.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// The panels that open a project and choose its loggers, and the dialogs of a logger's options.
namespace {
const QString TOO_LONG =
    "\"abcdefghijklmnopq.tpc\" is too long.\nPlease retry.\nMax Length is 20 charactors.";
const QString CANNOT_OPEN = "Unable to open the project file.";
const ShownMessage FULL{"ERROR", "cannot add more than 16 devices to the dashboard."};
const ShownMessage TIMED_OUT{"ERROR", "This command has exceeded the time limit.\nPlease retry."};
const char *const ADDRESS[] = {"spinBox_ipaddr1", "spinBox_ipaddr2", "spinBox_ipaddr3",
                               "spinBox_ipaddr4", "spinBox_port"};
const char *const RANGES[] = {"doubleSpinBox_min_ch1", "doubleSpinBox_max_ch1",
                              "doubleSpinBox_min_ch2", "doubleSpinBox_max_ch2"};
using Limits = QList<float>;
const Limits LIMITS{0.0f, 50.0f, 0.0f, 100.0f};

QString describe(const ConfiguredDevice *d)
{
    return QStringLiteral("%1 %2 %3 %4 %5:%6 %7 %8")
        .arg(d->deviceNumber(), d->deviceName(), d->ch1Name(), d->ch2Name(), d->deviceInterface())
        .arg(d->devicePort())
        .arg(d->linkType() == LINK_TCP ? "TCP" : "USB")
        .arg(d->dashboardNumber());
}

// The tooltips (ids, paths) or the texts of a list's rows.
QStringList texts(const QListWidget *list, int role = Qt::ToolTipRole)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result.append(list->item(row)->data(role).toString());
    return result;
}

Limits committed(const ConfiguredDevice &device)
{
    float limits[4];
    device.alarmRange(limits);
    return {limits[0], limits[1], limits[2], limits[3]};
}

int editableRanges(const QObject *dialog)
{
    return int(std::count_if(std::begin(RANGES), std::end(RANGES), [&](const char *name) {
        return child<QDoubleSpinBox>(dialog, name)->isEnabled();
    }));
}

QList<ShownMessage> confirmOptions(QWidget *dialog, const QList<double> &ranges = {})
{
    closeMessages(dialog);
    for (int i = 0; i < ranges.size(); ++i)
        child<QDoubleSpinBox>(dialog, RANGES[i])->setValue(ranges.at(i));
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
    return shownMessages(dialog);
}

QList<ShownMessage> enter(QWidget *dialog, const QString &name, const QString &mac,
                          const QList<int> &address)
{
    QTest::keyClicks(child<QLineEdit>(dialog, "lineEdit_devicename"), name);
    auto *macEdit = child<QLineEdit>(dialog, "lineEdit_macaddr");
    if (macEdit->text().remove(':').isEmpty())
        macEdit->home(false);
    QTest::keyClicks(macEdit, mac);
    for (int i = 0; i < address.size(); ++i)
        child<QSpinBox>(dialog, ADDRESS[i])->setValue(address.at(i));
    return confirmOptions(dialog);
}

// Back to editing: the button, the limit boxes and the device's own limits as they were.
bool editing(const QObject *dialog, const ConfiguredDevice &device)
{
    const auto *button = child<QPushButton>(dialog, "pushButton_confirm");
    return button->text() == QStringLiteral("Confirm") && button->isEnabled() &&
           editableRanges(dialog) == 4 && committed(device) == LIMITS;
}
} // namespace

class ProjectTest : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    SimProcess::Logger m_logger;
    QList<AvailableDevice *> m_available;
    std::unique_ptr<ProjectManager> m_panel;
    // The file dialogs answer this path and remember how they were asked.
    QString m_answer, m_asked;

    static QList<ShownMessage> says(const char *title, const char *text) { return {{title, text}}; }
    static QList<ShownMessage> info(const QString &text) { return {{"INFORMATION", text}}; }
    QString received() { return m_sim.command("received tcp0"); }
    // What reached the logger, after a moment for anything sent by mistake to arrive.
    QString receivedLater()
    {
        QTest::qWait(100);
        return received();
    }
    // Discovered loggers: USB "KX0007" on /dev/ttyACM7, network "024B58000007" at 10.0.0.8.
    void discover(int index, int kind, quint16 port = 23)
    {
        const bool usb = kind == LINK_SERIAL;
        m_available.append(new AvailableDevice{
            usb ? QStringLiteral("KX%1").arg(index, 4, 10, QLatin1Char('0'))
                : QStringLiteral("024B5800%1").arg(index, 4, 16, QLatin1Char('0')).toUpper(),
            usb ? QStringLiteral("/dev/ttyACM%1").arg(index)
                : QStringLiteral("10.0.%1.%2").arg(index / 200).arg(index % 200 + 1),
            port, kind});
    }
    void showDiscovered() { m_panel->setAvailDeviceList(m_available); }
    QPointer<ConfiguredDevice> manual(const QString &id)
    {
        QPointer<ConfiguredDevice> device = new ConfiguredDevice(id, LINK_TCP);
        device->setConnection("Dock", "CH1", "CH2", "127.0.0.1", 2323);
        m_panel->slotManualConfigDevice(device);
        return device;
    }
    QListWidget *list(int dashboard) const
    {
        return m_panel->findChild<QListWidget *>(
            dashboard < 0 ? QStringLiteral("availlable_list")
                          : QStringLiteral("configured_list_%1").arg(dashboard + 1));
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(m_panel.get(), name); }
    QTabWidget *tabs() const { return child<QTabWidget>(m_panel.get(), "tabWidget"); }
    bool canAdd() const
    {
        return button("btn_add")->isEnabled() && button("btn_manual")->isEnabled();
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
            m_panel->slotDblProjectAddDevice(list(-1)->item(0));
    }
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
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        m_logger = m_sim.logger("tcp0");
        FileChooser::setOverride([this](QWidget *, const QString &caption, const QString &dir,
                                        const QString &filter, bool save) {
            m_asked = QStringList{caption, dir, filter, save ? "save" : "open"}.join('|');
            return m_answer;
        });
    }
    void cleanupTestCase() { FileChooser::setOverride({}); }
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
        qDeleteAll(m_available);
        m_available.clear();
    }

    // Nothing but a created project may change a file.
    void createAndOpenCheckTheNameAndReplaceOnlyWhatTheUserAgreedTo_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *existing, const char *answer,
                            const QString &expected) {
            QTest::newRow(name) << QString(existing) << QString(answer) << expected;
        };
        row("create, 20 characters", "", "abcdefghijklmnop", "created abcdefghijklmnop.tpc");
        row("create, 21 characters", "", "abcdefghijklmnopq", "ERROR " + TOO_LONG);
        row("create, another suffix is kept", "", "Line1.txt", "created Line1.txt");
        row("create, missing folder", "", "missing/Line1.tpc", "ERROR " + CANNOT_OPEN);
        // The name as the dialog returns it after its overwrite question.
        row("create over a project empties it", "Line1.tpc", "Line1.tpc", "created Line1.tpc");
        // The dialog asked about "Line1"; "Line1.tpc" is another file.
        row("create, suffix added to an existing project", "Line1.tpc", "Line1",
            "WARNING \"Line1.tpc\" already exists.\nChoose it in the dialog to replace it.");
        row("create over a project's database", "Line1.dat", "Line1.dat",
            "ERROR \"Line1.dat\" is a database, not a project file.\nPlease retry.");
        row("open", "Line1.tpc", "Line1.tpc", "loaded Line1.tpc");
        row("open, 21 characters", "abcdefghijklmnopq.tpc", "abcdefghijklmnopq.tpc",
            "ERROR " + TOO_LONG);
        row("open, missing file", "", "gone.tpc", "ERROR " + CANNOT_OPEN);
        row("create, cancelled", "", "", "");
    }

    void createAndOpenCheckTheNameAndReplaceOnlyWhatTheUserAgreedTo()
    {
        const bool create = QByteArray(QTest::currentDataTag()).startsWith("create");
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        TempProjectDir dir;
        const QByteArray content = existing.endsWith(".dat") ? QByteArray("SQLite format 3\0r", 17)
                                                             : QByteArray("[Project]\n");
        QFile file(dir.filePath(existing));
        QVERIFY(existing.isEmpty() ||
                (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
        file.close();
        QStringList keys;
        QHash<QString, QVariant> paths;
        ProjectMain panel(&keys, &paths);
        QSignalSpy created(&panel, &ProjectMain::projectCreated);
        QSignalSpy loaded(&panel, &ProjectMain::projectLoaded);
        m_answer = answer.isEmpty() ? answer : dir.filePath(answer);
        QTest::mouseClick(child<QPushButton>(&panel, create ? "btn_create" : "btn_open"),
                          Qt::LeftButton);
        QStringList outcome;
        for (const QSignalSpy *spy : {&created, &loaded})
            for (const auto &signal : *spy)
                outcome << (spy == &created ? "created " : "loaded ") +
                               QDir(dir.path()).relativeFilePath(signal.at(0).toString());
        for (const ShownMessage &message : shownMessages(&panel))
            outcome << message.title + " " + message.text;
        QCOMPARE(outcome.join('|'), expected);
        QCOMPARE(m_asked.section('|', 0, 0) + m_asked.section('|', 2),
                 create ? "Create Project*.tpc|save" : "Open Project*.tpc|open");

        // The folder holds what it held, plus the created project, and only that one is empty.
        const QString made = expected.startsWith("created ") ? expected.mid(8) : QString();
        QStringList want, found;
        if (!existing.isEmpty() && existing != made)
            want << existing + " " + QString::number(content.size());
        if (!made.isEmpty())
            want << made + " 0";
        want.sort();
        for (const QFileInfo &info : QDir(dir.path()).entryInfoList(QDir::Files, QDir::Name))
            found << info.fileName() + " " + QString::number(info.size());
        QCOMPARE(found, want);
    }

    // A folder that does not exist would be taken for a file name by the dialog. Recent
    // entries show their key and folder, cut after seventy characters.
    void dialogsStartInTheDocumentsFolderElseHomeAndRecentEntriesAreCut()
    {
        TempProjectDir dir;
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(dir.path()));
        const QString folder70 = "/" + QString(69, 'f'), folder76 = "/" + QString(75, 'f');
        QStringList keys{"Line1", "Plant", "Exact"};
        QHash<QString, QVariant> paths{{"Line1", "D:/logs/Line1.tpc"},
                                       {"Plant", folder76 + "/Plant.tpc"},
                                       {"Exact", folder70 + "/Exact.tpc"}};
        ProjectMain panel(&keys, &paths);
        m_answer.clear();
        QTest::mouseClick(child<QPushButton>(&panel, "btn_create"), Qt::LeftButton);
        const QString withoutDocuments = m_asked.section('|', 1, 1);
        QVERIFY(QDir(dir.path()).mkdir("Documents"));
        QTest::mouseClick(child<QPushButton>(&panel, "btn_open"), Qt::LeftButton);
        qputenv("HOME", home);
        QCOMPARE(withoutDocuments, QDir::cleanPath(dir.path()));
        QCOMPARE(m_asked.section('|', 1, 1), dir.filePath("Documents"));

        const auto *recent = child<QListWidget>(&panel, "listWidget");
        QCOMPARE(texts(recent, Qt::DisplayRole),
                 (QStringList{"Line1\t[D:/logs/Line1.tpc]",
                              "Plant\t[" + folder76.left(70) + ".../Plant.tpc]",
                              "Exact\t[" + folder70 + "/Exact.tpc]"}));
        QCOMPARE(texts(recent).at(1), folder76 + "/Plant.tpc");
    }

    // The 16th on a dashboard by double click goes in silently, the 17th is refused however
    // it comes, and the 64th of the project disables adding until one goes.
    void sixteenLoggersFitADashboardAndSixtyFourTheProject()
    {
        for (int i = 0; i < 65; ++i)
            discover(i, LINK_TCP);
        showDiscovered();
        place(14);
        for (int row = 0; row < 3; ++row)
            list(-1)->item(row)->setSelected(true);
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QCOMPARE(texts(list(0)).mid(14), (QStringList{m_available[14]->id, m_available[15]->id}));
        QCOMPARE(texts(list(-1)).first(), m_available[16]->id);
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL});
        doubleClick(list(-1)->item(0));
        QVERIFY(manual("024B58AABBCC").isNull());
        QCOMPARE(takeMessages(), (QList<ShownMessage>{FULL, FULL}));
        QCOMPARE((QList<int>{list(0)->count(), list(-1)->count()}), (QList<int>{16, 49}));

        for (int d = 1; d < 4; ++d) {
            tabs()->setCurrentIndex(d);
            place(15);
            QVERIFY(canAdd());
            doubleClick(list(-1)->item(0));
            QCOMPARE(list(d)->count(), 16);
        }
        QVERIFY(takeMessages().isEmpty());
        QVERIFY(!button("btn_add")->isEnabled() && !button("btn_manual")->isEnabled());
        list(3)->item(5)->setSelected(true);
        QTest::mouseClick(button("btn_remove"), Qt::LeftButton);
        QCOMPARE(list(3)->count(), 15);
        QVERIFY(canAdd());
    }

    // A hand-made logger that discovery also found takes the discovered entry's place and
    // gives it back when removed; one that discovery does not know is dropped; confirming
    // builds every placed logger and takes the dashboard names as typed.
    void manualLoggersRemovalsAndConfirm()
    {
        for (int i : {1, 2})
            discover(i, LINK_TCP);
        discover(7, LINK_SERIAL);
        discover(3, LINK_TCP, 2323);
        showDiscovered();
        QVERIFY(confirm().isEmpty());
        QCOMPARE(takeMessages(), info("You must add at least one device to the dashboard.\n"
                                      "Please retry."));
        place(1);
        QVERIFY(manual("024B58000001").isNull());
        QCOMPARE(takeMessages(), says("ERROR", "the mac address already exists."));

        tabs()->setCurrentIndex(3);
        QPointer<ConfiguredDevice> seen = manual("024B58000002");
        QPointer<ConfiguredDevice> unknown = manual("024B58AABBCC");
        QCOMPARE(texts(list(3)), (QStringList{"024B58000002", "024B58AABBCC"}));
        QCOMPARE(list(3)->item(1)->text(), QStringLiteral("Dock\t[127.0.0.1:2323]"));
        showDiscovered();
        QCOMPARE(texts(list(-1), Qt::DisplayRole),
                 (QStringList{"KX0007\t[/dev/ttyACM7]", "024B58000003\t[10.0.0.4:2323]"}));
        list(3)->item(1)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QVERIFY(unknown.isNull());
        list(3)->selectAll();
        m_panel->slotProjectRemoveDevice();
        QVERIFY(seen.isNull());
        QCOMPARE(list(-1)->item(2)->text(), QStringLiteral("024B58000002\t[10.0.0.3:23]"));
        tabs()->setCurrentIndex(0);
        list(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        m_panel->slotProjectRemoveDevice(); // nothing selected: nothing moves
        QCOMPARE(texts(list(-1)),
                 (QStringList{"KX0007", "024B58000003", "024B58000002", "024B58000001"}));

        place(2);
        tabs()->setCurrentIndex(2);
        QPointer<ConfiguredDevice> hand = manual("024B58AABBCD");
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_2")->clear();
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_4")->setText("Cold room");
        QStringList names, built;
        const QList<ConfiguredDevice *> devices = confirm(&names);
        QCOMPARE(names, (QStringList{"Dashboard 1", "", "Dashboard 3", "Cold room"}));
        for (ConfiguredDevice *device : devices)
            built << describe(device);
        QCOMPARE(built, (QStringList{"KX0007 KX0007 CH1 CH2 /dev/ttyACM7:23 USB 0",
                                     "024B58000003 024B58000003 CH1 CH2 10.0.0.4:2323 TCP 0",
                                     "024B58AABBCD Dock CH1 CH2 127.0.0.1:2323 TCP 2"}));
        QCOMPARE(devices.last(), hand.data());
        qDeleteAll(devices.mid(0, 2));

        QPointer<ConfiguredDevice> unconfirmed = manual("024B58AABBCE");
        m_panel.reset();
        QVERIFY(unconfirmed.isNull());
        delete hand;
    }

    // Devices off the dashboards stay off the lists; tabs carry the names as typed, an emptied one
    // its number. A project's logger on no dashboard, typed in again at a new address, stays the
    // same logger: the project's device takes the address, the hand-made one goes.
    void editModeShowsTheProjectsDevicesAndTakesOneTypedInAgain()
    {
        DeviceFactory project;
        ConfiguredDevice *kept = project.add("024B58000001", LINK_TCP, "Freezer", "::1", 2323, 1);
        project.add("024B58000002", LINK_TCP, "Lost", "127.0.0.1", 2323, 4);
        ConfiguredDevice *unnamed = project.add("024B58000003", LINK_TCP, "", "127.0.0.1", 2323);
        ConfiguredDevice *known = project.add(m_logger.deviceNumber, LINK_TCP, "", "", 1, 4);
        known->setConnection("Old", "Temp", "Hum", "127.0.0.1", 1);
        for (int i : {1, 2, 9})
            discover(i, LINK_TCP);
        m_panel->setConfiguredDeviceList(project.list());
        showDiscovered();
        m_panel->setDashboardNames({"North", "South"});
        QCOMPARE(list(1)->item(0)->text() + list(0)->item(0)->text(),
                 QStringLiteral("Freezer\t[::1:2323]024B58000003\t[127.0.0.1:2323]"));
        QCOMPARE(texts(list(-1)), (QStringList{"024B58000002", "024B58000009"}));
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_4")->clear();
        QCOMPARE(tabs()->tabText(3), "Dashboard 4");

        QTest::mouseClick(button("btn_manual"), Qt::LeftButton);
        QPointer dialog(m_panel->findChild<ManualConfigDeviceDialog *>());
        QVERIFY(dialog);
        dialog->reject();
        QTRY_VERIFY(dialog.isNull());
        QTest::mouseClick(button("btn_manual"), Qt::LeftButton);
        dialog = m_panel->findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        // Each message closes itself 5 s after it appeared, or at once by its button, and is
        // freed. Typing a dot moves on to the next box.
        QCOMPARE(enter(dialog, "", "", {127, 0, 0, 1, 0}), info("Enter the Device Name."));
        QPointer<MessageDialog> message = dialog->findChild<MessageDialog *>();
        const auto *lifetime = message->findChild<QTimer *>();
        QVERIFY(lifetime && lifetime->isActive() && lifetime->interval() == 5000);
        QTest::mouseClick(child<QPushButton>(message, "pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(message.isNull());
        QCOMPARE(enter(dialog, "Dock", "", {}), info("Enter the Mac Address."));
        message = dialog->findChild<MessageDialog *>();
        message->findChild<QTimer *>()->start(0);
        QTRY_VERIFY(message.isNull());
        QCOMPARE(enter(dialog, "", "001A2B", {}), info("Enter all 12 digits of the Mac Address."));
        auto *mac = child<QLineEdit>(dialog, "lineEdit_macaddr");
        QCOMPARE(mac->text(), QStringLiteral("00:1A:2B:::"));
        QCOMPARE(enter(dialog, "", "3C4D5E", {}), info("Enter the port number."));
        closeMessages(dialog);
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        auto *first = child<QSpinBox>(dialog, "spinBox_ipaddr1");
        first->setFocus();
        first->selectAll();
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "10.0.0.5");
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(dialog, "spinBox_ipaddr4"));
        QTest::keyClicks(static_cast<QWidget *>(nullptr), ".2323.");
        QList<int> octets;
        for (const char *name : ADDRESS)
            octets.append(child<QSpinBox>(dialog, name)->value());
        QCOMPARE(octets, (QList<int>{10, 0, 0, 5, 2323}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(dialog, "spinBox_port"));
        first->setFocus();
        QTest::keyClick(first, '.');
        auto *second = child<QSpinBox>(dialog, "spinBox_ipaddr2");
        QCOMPARE(QApplication::focusWidget(), second);
        QCOMPARE(second->findChild<QLineEdit *>()->selectedText() + first->text(), "010");
        child<QLineEdit>(dialog, "lineEdit_devicename")->clear();
        mac->clear();
        QVERIFY(enter(dialog, "Sim", m_logger.deviceNumber.toLower(), {127, 0, 0, 1, m_logger.port})
                    .isEmpty());
        QTRY_VERIFY(dialog.isNull());
        // The entry opened the logger; the project's device that takes its place drops it.
        QTRY_COMPARE(m_sim.command("connections tcp0"), QStringLiteral("ok 0"));
        QCOMPARE(list(0)->item(1)->text(), QString("Sim\t[127.0.0.1:%1]").arg(m_logger.port));
        QStringList names;
        QCOMPARE(confirm(&names), (QList<ConfiguredDevice *>{unnamed, known, kept}));
        QCOMPARE(names, (QStringList{"North", "South", "Dashboard 3", ""}));
        QCOMPARE(describe(known), QStringLiteral("%1 Sim Temp Hum 127.0.0.1:%2 TCP 0")
                                      .arg(m_logger.deviceNumber, QString::number(m_logger.port)));
        known->requestData();
        QTRY_VERIFY(known->isConnected());
        QVERIFY(received().contains("ATDC"));
        // The device closes its connection after the answer; nothing else holds one open.
        QTRY_COMPARE(m_sim.command("connections tcp0"), QStringLiteral("ok 0"));
    }

    // Names, units and ranges apply at once, once every name is given and no minimum is above
    // its maximum; the custom unit is edited in place, up to eleven characters.
    void aUsbLoggerTakesNamesUnitsAndRangesAtOnce()
    {
        ConfiguredDevice device("KX0001", LINK_SERIAL);
        device.setConnection("Freezer", "Temp", "Hum", "/dev/ttyACM0", 23);
        device.setUnits(4, 3);
        device.setCh1Custom("bar");
        device.setAlarmRange(-30.0f, -10.0f, 10.0f, 90.0f);
        device.deviceConnected();
        QPointer<SensingOptionUsbDialog> dialog = new SensingOptionUsbDialog(&device);
        QSignalSpy confirmed(dialog.data(), &SensingOptionUsbDialog::sensingConfirm);
        auto *unit1 = child<QComboBox>(dialog, "comboBox_unit_ch1");
        auto *unit2 = child<QComboBox>(dialog, "comboBox_unit_ch2");
        QCOMPARE(child<QLabel>(dialog, "label_serialnumber")->text() + unit1->currentText() +
                     QString::number(unit2->currentIndex()),
                 "KX0001bar3");
        unit1->lineEdit()->selectAll();
        QTest::keyClicks(unit1->lineEdit(), "abcdefghijklmno");
        QCOMPARE(unit1->currentText(), QStringLiteral("abcdefghijk"));
        unit1->setCurrentIndex(0);
        QVERIFY(!unit1->isEditable());
        unit2->setCurrentIndex(4);
        unit2->lineEdit()->selectAll();
        QTest::keyClicks(unit2->lineEdit(), "kPa");

        const char *names[] = {"lineEdit_devicename", "lineEdit_ch1name", "lineEdit_ch2name"};
        for (const char *name : names)
            child<QLineEdit>(dialog, name)->clear();
        const QStringList which = {"Device", "Channel-1", "Channel-2"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(confirmOptions(dialog), info("Enter the " + which[i] + " Name."));
            child<QLineEdit>(dialog, names[i])->setText("Chiller");
        }
        QCOMPARE(confirmOptions(dialog, {0, 50, 90.5, 90.25}),
                 says("ERROR", "The Channel-2 minimum is above its maximum.\nPlease retry."));
        QVERIFY(confirmed.isEmpty() && device.deviceName() == QStringLiteral("Freezer"));
        QVERIFY(confirmOptions(dialog, {-25.5, -5, 80, 120.25}).isEmpty());
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE((QStringList{device.deviceName(), device.ch2Name(), device.deviceInterface(),
                              QString::number(device.ch1Unit()), device.ch1Custom(),
                              QString::number(device.ch2Unit()), device.ch2Custom()}),
                 (QStringList{"Chiller", "Chiller", "/dev/ttyACM0", "0", "", "4", "kPa"}));
        QCOMPARE(committed(device), (Limits{-25.5f, -5.0f, 80.0f, 120.25f}));
        QTRY_VERIFY(dialog.isNull());

        // Without a connection the ranges stay as they are.
        device.deviceDisconnected();
        dialog = new SensingOptionUsbDialog(&device);
        QCOMPARE(editableRanges(dialog), 0);
        child<QComboBox>(dialog, "comboBox_unit_ch1")->setCurrentIndex(2);
        QVERIFY(confirmOptions(dialog).isEmpty());
        QCOMPARE(device.ch1Unit(), 2);
        QCOMPARE(committed(device), (Limits{-25.5f, -5.0f, 80.0f, 120.25f}));
    }

    // Unchanged limits and buzzer close without a word to the logger. A refused setup keeps the
    // dialog open, and its time-out still follows; changed limits are sent in order and adopted
    // only after the last "OK"; the time-out of the closed dialog leaves the next exchange alone.
    // A silent logger times out and its late "OK" is ignored; a lost connection returns to
    // editing with nothing staged; a disconnected logger takes names and units without traffic.
    void aNetworkLoggerAdoptsLimitsOnlyWhenItConfirmedThem()
    {
        ConfiguredDevice device(m_logger.deviceNumber, LINK_TCP);
        device.setConnection("Dock", "Temp", "Hum", m_logger.address, m_logger.port);
        device.setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        device.requestData();
        QTRY_VERIFY(device.isConnected());
        received();
        Limits atSuccess;
        connect(&device, &ConfiguredDevice::buzzerSyncSuccess, this,
                [&] { atSuccess = committed(device); });
        // An unknown stored buzzer setting selects no item, and the logger keeps it.
        device.setBuzzerAlarm("LOUD");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(&device);
        QCOMPARE(child<QComboBox>(dialog, "comboBox_buzzeralarm")->currentIndex(), -1);
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Dock North");
        QVERIFY(confirmOptions(dialog).isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device.deviceName() + device.buzzerAlarm(), QStringLiteral("Dock NorthLOUD"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
        device.setBuzzerAlarm("OFF");
        dialog = new SensingOptionTelnetDialog(&device);
        dialog->setSyncTimeout(500);
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        auto *buzzer = child<QComboBox>(dialog, "comboBox_buzzeralarm");
        QCOMPARE(buzzer->currentText() + child<QLabel>(dialog, "label_macaddr")->text(),
                 "OFF" + m_logger.deviceNumber);

        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Renamed");
        QCOMPARE(confirmOptions(dialog, {30, 20, 0, 100}),
                 says("ERROR", "The Channel-1 minimum is above its maximum.\nPlease retry."));
        QCOMPARE(device.deviceName(), QStringLiteral("Dock North"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));

        m_sim.command("fault tcp0 notok");
        const ShownMessage failed{"ERROR", "Device Setup Failed.\nPlease retry."};
        confirmOptions(dialog, {1, 2, 3, 4});
        QTRY_COMPARE(shownMessages(dialog), QList<ShownMessage>{failed});
        QVERIFY(editing(dialog, device));
        QTRY_COMPARE(shownMessages(dialog), (QList<ShownMessage>{failed, TIMED_OUT}));

        m_sim.command("fault tcp0 none");
        received();
        buzzer->setCurrentText("OR");
        confirmOptions(dialog, {20, 30, -10, 85.5});
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Progressing..."));
        QVERIFY(!button->isEnabled() && editableRanges(dialog) == 0);
        QCOMPARE(committed(device), LIMITS);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(atSuccess, LIMITS);
        QCOMPARE(committed(device), (Limits{20.0f, 30.0f, -10.0f, 85.5f}));
        QCOMPARE(device.deviceName() + device.buzzerAlarm(), QStringLiteral("RenamedOR"));
        QCOMPARE(confirmed.count(), 3);
        QCOMPARE(received(), QStringLiteral("ok ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));

        m_sim.command("fault tcp0 noanswer");
        device.setPendingAlarmRange(1, 2, 3, 4);
        device.startSyncTelnet();
        QTest::qWait(700);
        QVERIFY(device.syncState() != ConfiguredDevice::STATE_IDLE);
        device.stopSyncTelnet();

        device.setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        device.setBuzzerAlarm("OFF");
        dialog = new SensingOptionTelnetDialog(&device);
        dialog->setSyncTimeout(300);
        QSignalSpy silent(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        confirmOptions(dialog, {5, 6, 7, 8});
        QVERIFY(device.syncState() != ConfiguredDevice::STATE_IDLE);
        QTRY_VERIFY(shownMessages(dialog).contains(TIMED_OUT));
        QCOMPARE(device.syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(editing(dialog, device));
        emit device.buzzerSyncSuccess();
        QCOMPARE(committed(device), LIMITS);
        QCOMPARE(silent.count(), 1);

        m_sim.command("fault tcp0 none");
        QCOMPARE(m_sim.command("stop tcp0").left(2), QStringLiteral("ok"));
        QTRY_VERIFY((device.requestData(), !device.isConnected()));
        received();
        child<QComboBox>(dialog, "comboBox_buzzeralarm")->setCurrentText("CH2");
        QCOMPARE(confirmOptions(dialog, {20, 30, -10, 85.5}),
                 says("ERROR", "Loss of network connection.\nPlease retry."));
        QVERIFY(editing(dialog, device));
        QCOMPARE(device.pendingBuzzerAlarm() + QString::number(device.pendingCh1Min()), "OFF0");
        delete dialog;

        dialog = new SensingOptionTelnetDialog(&device);
        QCOMPARE(editableRanges(dialog), 0);
        QVERIFY(!child<QComboBox>(dialog, "comboBox_buzzeralarm")->isEnabled());
        child<QComboBox>(dialog, "comboBox_unit_ch2")->setCurrentIndex(3);
        QVERIFY(confirmOptions(dialog).isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device.ch2Unit(), 3);
        QCOMPARE(m_sim.command("start tcp0").left(2), QStringLiteral("ok"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
    }
};

QTEST_MAIN(ProjectTest)
#include "tst_project.moc"
