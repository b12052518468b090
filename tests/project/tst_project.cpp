#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/filechooser.h"
#include "project/manualconfigdevicedialog.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "tests/support/devicefactory.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "tests/support/widgetfinder.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

// The panels that open a project and choose its loggers, and the dialogs of a network logger.
namespace {
const QString TOO_LONG =
    "\"abcdefghijklmnopq.tpc\" is too long.\nPlease retry.\nMax Length is 20 charactors.";
const QString CANNOT_OPEN = "Unable to open the project file.";
const ShownMessage FULL{"ERROR", "cannot add more than 16 devices to the dashboard."};
const char *const ADDRESS[] = {"spinBox_ipaddr1", "spinBox_ipaddr2", "spinBox_ipaddr3",
                               "spinBox_ipaddr4", "spinBox_port"};

QList<int> octets(const QObject *dialog)
{
    QList<int> values;
    for (const char *name : ADDRESS)
        values.append(child<QSpinBox>(dialog, name)->value());
    return values;
}

// Types the name, MAC digits and address into a manual entry and confirms it.
QList<ShownMessage> enter(QWidget *dialog, const QString &name, const QString &mac,
                          const QList<int> &address)
{
    closeMessages(dialog);
    QTest::keyClicks(child<QLineEdit>(dialog, "lineEdit_devicename"), name);
    auto *macEdit = child<QLineEdit>(dialog, "lineEdit_macaddr");
    if (macEdit->text().remove(':').isEmpty())
        macEdit->home(false);
    QTest::keyClicks(macEdit, mac);
    for (int i = 0; i < address.size(); ++i)
        child<QSpinBox>(dialog, ADDRESS[i])->setValue(address.at(i));
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
    return shownMessages(dialog);
}

QString describe(const ConfiguredDevice *d)
{
    return QStringLiteral("%1 %2 %3 %4 %5:%6 %7 %8")
        .arg(d->deviceNumber(), d->deviceName(), d->ch1Name(), d->ch2Name(), d->deviceInterface())
        .arg(d->devicePort())
        .arg(d->linkType() == LINK_TCP ? "TCP" : "USB")
        .arg(d->dashboardNumber());
}

QStringList ids(const QListWidget *list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result.append(list->item(row)->toolTip());
    return result;
}
} // namespace

class ProjectTest : public QObject
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<AvailableDevice>> m_available;
    std::unique_ptr<ProjectManager> m_panel;
    // The file dialogs answer this path and remember how they were asked.
    QString m_answer, m_asked;

    // Discovered loggers: USB "KX0007" on /dev/ttyACM7, network "024B58000007" at 10.0.0.8.
    void discover(int index, int kind, quint16 port = 23)
    {
        auto device = std::make_unique<AvailableDevice>();
        const bool usb = kind == LINK_SERIAL;
        device->kind = kind;
        device->port = port;
        device->id = usb ? QStringLiteral("KX%1").arg(index, 4, 10, QLatin1Char('0'))
                         : QStringLiteral("024B5800%1").arg(index, 4, 16, QLatin1Char('0'));
        device->id = device->id.toUpper();
        device->address = usb ? QStringLiteral("/dev/ttyACM%1").arg(index)
                              : QStringLiteral("10.0.%1.%2").arg(index / 200).arg(index % 200 + 1);
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
    QListWidget *list(int dashboard) const
    {
        return m_panel->findChild<QListWidget *>(
            dashboard < 0 ? QStringLiteral("availlable_list")
                          : QStringLiteral("configured_list_%1").arg(dashboard + 1));
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(m_panel.get(), name); }
    void selectTab(int index)
    {
        child<QTabWidget>(m_panel.get(), "tabWidget")->setCurrentIndex(index);
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
        QVERIFY(QSettings("VelmoranLite", "Velmoran Lite")
                    .fileName()
                    .startsWith(isolatedSettingsDir()));
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
        m_available.clear();
    }

    // "{dir}" stands for the test's folder. Nothing but a created project may change a file.
    void createAndOpenCheckTheNameAndReplaceOnlyWhatTheUserAgreedTo_data()
    {
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("create, twenty characters with the suffix")
            << true << ""
            << "abcdefghijklmnop"
            << "created {dir}/abcdefghijklmnop.tpc";
        QTest::newRow("create, twenty-one characters") << true << ""
                                                       << "abcdefghijklmnopq"
                                                       << "ERROR " + TOO_LONG;
        QTest::newRow("create, another suffix is kept") << true << ""
                                                        << "Line1.txt"
                                                        << "created {dir}/Line1.txt";
        QTest::newRow("create, missing folder") << true << ""
                                                << "missing/Line1.tpc"
                                                << "ERROR " + CANNOT_OPEN;
        // The name as the dialog returns it after its overwrite question.
        QTest::newRow("create over an existing project empties it") << true << "Line1.tpc"
                                                                    << "Line1.tpc"
                                                                    << "created {dir}/Line1.tpc";
        // The dialog asked about "Line1"; "Line1.tpc" is another file.
        QTest::newRow("create, suffix added to an existing project")
            << true << "Line1.tpc"
            << "Line1"
            << "WARNING \"Line1.tpc\" already exists.\nChoose it in the dialog to replace it.";
        QTest::newRow("create over a project's database")
            << true << "Line1.dat"
            << "Line1.dat"
            << "ERROR \"Line1.dat\" is a database, not a project file.\nPlease retry.";
        QTest::newRow("open") << false << "Line1.tpc"
                              << "Line1.tpc"
                              << "loaded {dir}/Line1.tpc";
        QTest::newRow("open, name over twenty characters") << false << "abcdefghijklmnopq.tpc"
                                                           << "abcdefghijklmnopq.tpc"
                                                           << "ERROR " + TOO_LONG;
        QTest::newRow("open, missing file") << false << ""
                                            << "gone.tpc"
                                            << "ERROR " + CANNOT_OPEN;
        QTest::newRow("cancelled") << true << ""
                                   << ""
                                   << "";
    }

    void createAndOpenCheckTheNameAndReplaceOnlyWhatTheUserAgreedTo()
    {
        QFETCH(bool, create);
        QFETCH(QString, existing);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        TempProjectDir dir;
        const QByteArray content = existing.endsWith(".dat") ? QByteArray("SQLite format 3\0r", 17)
                                                             : QByteArray("[Project]\n");
        QStringList files;
        if (!existing.isEmpty()) {
            QFile file(dir.filePath(existing));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            files << existing;
        }
        QStringList keys;
        QHash<QString, QVariant> paths;
        ProjectMain panel(&keys, &paths);
        QSignalSpy created(&panel, &ProjectMain::projectCreated);
        QSignalSpy loaded(&panel, &ProjectMain::projectLoaded);
        m_answer = answer.isEmpty() ? answer : dir.filePath(answer);
        QTest::mouseClick(child<QPushButton>(&panel, create ? "btn_create" : "btn_open"),
                          Qt::LeftButton);
        QStringList outcome;
        for (const auto &signal : created)
            outcome << "created " + signal.at(0).toString();
        for (const auto &signal : loaded)
            outcome << "loaded " + signal.at(0).toString();
        for (const ShownMessage &message : shownMessages(&panel))
            outcome << message.title + " " + message.text;
        QCOMPARE(outcome.join('|'), expected.replace("{dir}", dir.path()));
        QVERIFY(m_asked.startsWith(create ? "Create Project|" : "Open Project|"));
        QVERIFY(m_asked.endsWith(create ? "|*.tpc|save" : "|*.tpc|open"));

        const QString made = expected.startsWith("created ") ? expected.mid(8) : QString();
        if (!made.isEmpty() && !files.contains(QFileInfo(made).fileName()))
            files << QFileInfo(made).fileName();
        files.sort();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), files);
        if (!made.isEmpty())
            QCOMPARE(QFileInfo(made).size(), 0);
        else if (!existing.isEmpty())
            QCOMPARE(QFileInfo(dir.filePath(existing)).size(), content.size());
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

        auto *recent = child<QListWidget>(&panel, "listWidget");
        QCOMPARE(recent->count(), 3);
        QCOMPARE(recent->item(0)->text(), QStringLiteral("Line1\t[D:/logs/Line1.tpc]"));
        QCOMPARE(recent->item(1)->text(), "Plant\t[" + folder76.left(70) + ".../Plant.tpc]");
        QCOMPARE(recent->item(1)->toolTip(), folder76 + "/Plant.tpc");
        QCOMPARE(recent->item(2)->text(), "Exact\t[" + folder70 + "/Exact.tpc]");
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
        QCOMPARE(ids(list(0)).mid(14), (QStringList{m_available[14]->id, m_available[15]->id}));
        QCOMPARE(ids(list(-1)).first(), m_available[16]->id);
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL});
        list(-1)->item(0)->setSelected(true);
        m_panel->slotProjectAddDevice();
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL});
        doubleClick(list(-1)->item(0));
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL});
        QPointer<ConfiguredDevice> refused = manual("024B58AABBCC");
        QCOMPARE(takeMessages(), QList<ShownMessage>{FULL});
        QVERIFY(refused.isNull());
        QCOMPARE(list(0)->count(), 16);
        QCOMPARE(list(-1)->count(), 49);

        for (int d = 1; d < 4; ++d) {
            selectTab(d);
            place(15);
            QVERIFY(button("btn_add")->isEnabled() && button("btn_manual")->isEnabled());
            doubleClick(list(-1)->item(0));
            QCOMPARE(list(d)->count(), 16);
        }
        QVERIFY(takeMessages().isEmpty());
        QVERIFY(!button("btn_add")->isEnabled());
        QVERIFY(!button("btn_manual")->isEnabled());
        list(3)->item(5)->setSelected(true);
        QTest::mouseClick(button("btn_remove"), Qt::LeftButton);
        QCOMPARE(list(3)->count(), 15);
        QVERIFY(button("btn_add")->isEnabled() && button("btn_manual")->isEnabled());
    }

    // A hand-made logger that discovery also found takes the discovered entry's place and
    // gives it back when removed; one that discovery does not know is dropped; confirming
    // builds every placed logger and takes the dashboard names as typed.
    void manualLoggersRemovalsAndConfirm()
    {
        discover(1, LINK_TCP);
        discover(2, LINK_TCP);
        discover(7, LINK_SERIAL);
        discover(3, LINK_TCP, 2323);
        showDiscovered();
        QVERIFY(confirm().isEmpty());
        QCOMPARE(takeMessages(),
                 (QList<ShownMessage>{{"INFORMATION",
                                       "You must add at least one device to the dashboard.\n"
                                       "Please retry."}}));
        place(1);
        QPointer<ConfiguredDevice> duplicate = manual("024B58000001");
        QCOMPARE(takeMessages(),
                 (QList<ShownMessage>{{"ERROR", "the mac address already exists."}}));
        QVERIFY(duplicate.isNull());

        selectTab(3);
        QPointer<ConfiguredDevice> seen = manual("024B58000002");
        QPointer<ConfiguredDevice> unknown = manual("024B58AABBCC");
        QCOMPARE(ids(list(3)), (QStringList{"024B58000002", "024B58AABBCC"}));
        QCOMPARE(list(3)->item(1)->text(), QStringLiteral("Dock\t[127.0.0.1:2323]"));
        showDiscovered();
        QCOMPARE(ids(list(-1)), (QStringList{"KX0007", "024B58000003"}));
        QCOMPARE(list(-1)->item(0)->text(), QStringLiteral("KX0007\t[/dev/ttyACM7]"));
        QCOMPARE(list(-1)->item(1)->text(), QStringLiteral("024B58000003\t[10.0.0.4:2323]"));
        list(3)->item(1)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        QVERIFY(unknown.isNull());
        list(3)->selectAll();
        m_panel->slotProjectRemoveDevice();
        QVERIFY(seen.isNull());
        QCOMPARE(list(-1)->item(2)->text(), QStringLiteral("024B58000002\t[10.0.0.3:23]"));
        selectTab(0);
        list(0)->item(0)->setSelected(true);
        m_panel->slotProjectRemoveDevice();
        m_panel->slotProjectRemoveDevice(); // nothing selected: nothing moves
        QCOMPARE(ids(list(-1)),
                 (QStringList{"KX0007", "024B58000003", "024B58000002", "024B58000001"}));

        place(2);
        selectTab(2);
        QPointer<ConfiguredDevice> hand = manual("024B58AABBCD");
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_2")->clear();
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_4")->setText("Cold room");
        QStringList names;
        const QList<ConfiguredDevice *> devices = confirm(&names);
        QCOMPARE(names, (QStringList{"Dashboard 1", "", "Dashboard 3", "Cold room"}));
        QStringList built;
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

    // Devices off the dashboards stay off the lists.
    void editModeShowsTheProjectsDevices()
    {
        DeviceFactory project;
        ConfiguredDevice *kept =
            project.add("024B58000001", LINK_TCP, "Freezer", "127.0.0.1", 2323, 1);
        project.add("024B58000002", LINK_TCP, "Lost", "127.0.0.1", 2323, 4);
        ConfiguredDevice *unnamed = project.add("024B58000003", LINK_TCP, "", "127.0.0.1", 2323);
        for (int i : {1, 2, 9})
            discover(i, LINK_TCP);
        m_panel->setIntervalDisabled(true);
        m_panel->setConfiguredDeviceList(project.list());
        showDiscovered();
        m_panel->setDashboardNames({"North", "South"});
        QCOMPARE(list(1)->item(0)->text(), QStringLiteral("Freezer\t[127.0.0.1:2323]"));
        QCOMPARE(list(0)->item(0)->text(), QStringLiteral("024B58000003\t[127.0.0.1:2323]"));
        QCOMPARE(ids(list(-1)), (QStringList{"024B58000002", "024B58000009"}));
        QVERIFY(!button("btn_timeInterval")->isEnabled());
        // The tabs carry the names as they are typed; an emptied name shows the number.
        auto *tabs = child<QTabWidget>(m_panel.get(), "tabWidget");
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_3")->setText("Dock");
        child<QLineEdit>(m_panel.get(), "lineEdit_dashboard_4")->clear();
        QCOMPARE(
            (QStringList{tabs->tabText(0), tabs->tabText(1), tabs->tabText(2), tabs->tabText(3)}),
            (QStringList{"North", "South", "Dock", "Dashboard 4"}));
        QStringList names;
        QCOMPARE(confirm(&names), (QList<ConfiguredDevice *>{unnamed, kept}));
        QCOMPARE(names, (QStringList{"North", "South", "Dock", ""}));
    }

    // Each message closes itself 5 s after it appeared, or at once by its button, and is freed.
    // Typing a dot moves on to the next box.
    void manualEntryChecksNameMacAndPortAndDotsMoveThroughTheAddress()
    {
        ManualConfigDeviceDialog dialog;
        QSignalSpy confirmed(&dialog, &ManualConfigDeviceDialog::ManualConfigDeviceConfirm);
        QCOMPARE(octets(&dialog), (QList<int>{192, 168, 1, 2, 23}));
        QCOMPARE(enter(&dialog, "", "", {127, 0, 0, 1, 0}),
                 (QList<ShownMessage>{{"INFORMATION", "Enter the Device Name."}}));
        QPointer<MessageDialog> message = dialog.findChild<MessageDialog *>();
        const auto *lifetime = message->findChild<QTimer *>();
        QVERIFY(lifetime && lifetime->isActive() && lifetime->isSingleShot());
        QCOMPARE(lifetime->interval(), 5000);
        QTest::mouseClick(child<QPushButton>(message, "pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(message.isNull());
        QCOMPARE(enter(&dialog, "Dock", "", {}),
                 (QList<ShownMessage>{{"INFORMATION", "Enter the Mac Address."}}));
        message = dialog.findChild<MessageDialog *>();
        message->findChild<QTimer *>()->start(0);
        QTRY_VERIFY(message.isNull());
        QCOMPARE(enter(&dialog, "", "001A2B", {}),
                 (QList<ShownMessage>{{"INFORMATION", "Enter all 12 digits of the Mac Address."}}));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_macaddr")->text(),
                 QStringLiteral("00:1A:2B:::"));
        QCOMPARE(enter(&dialog, "", "3C4D5E", {}),
                 (QList<ShownMessage>{{"INFORMATION", "Enter the port number."}}));
        QCOMPARE(confirmed.count(), 0);

        closeMessages(&dialog);
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *first = child<QSpinBox>(&dialog, "spinBox_ipaddr1");
        first->setFocus();
        first->selectAll();
        QTest::keyClicks(static_cast<QWidget *>(nullptr), "10.0.0.5");
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(&dialog, "spinBox_ipaddr4"));
        QTest::keyClicks(static_cast<QWidget *>(nullptr), ".2323.");
        QCOMPARE(octets(&dialog), (QList<int>{10, 0, 0, 5, 2323}));
        QCOMPARE(QApplication::focusWidget(), child<QSpinBox>(&dialog, "spinBox_port"));
        first->setFocus();
        QTest::keyClick(first, '.');
        auto *second = child<QSpinBox>(&dialog, "spinBox_ipaddr2");
        QCOMPARE(QApplication::focusWidget(), second);
        QCOMPARE(second->findChild<QLineEdit *>()->selectedText(), QStringLiteral("0"));
        QCOMPARE(first->value(), 10);
    }

    // A logger of the project that no dashboard shows, typed in again at a new address, is
    // the same logger: the project's device takes the address, the hand-made one goes.
    void aProjectLoggerEnteredByHandAgainIsTheSameLogger()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        const SimProcess::Logger logger = sim.logger("tcp0");
        ConfiguredDevice known(logger.deviceNumber, LINK_TCP);
        known.setConnection("Old", "Temp", "Hum", "127.0.0.1", 1);
        known.setDashboardNumber(4);
        m_panel->setConfiguredDeviceList({&known});
        // A dismissed entry is freed.
        QTest::mouseClick(button("btn_manual"), Qt::LeftButton);
        QPointer<ManualConfigDeviceDialog> dialog =
            m_panel->findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog);
        dialog->reject();
        QTRY_VERIFY(dialog.isNull());

        QTest::mouseClick(button("btn_manual"), Qt::LeftButton);
        dialog = m_panel->findChild<ManualConfigDeviceDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(enter(dialog, "Sim", logger.deviceNumber.toLower(), {127, 0, 0, 1, logger.port})
                    .isEmpty());
        QTRY_VERIFY(dialog.isNull());
        // The entry opened the logger; the project's device that takes its place drops it.
        QTRY_COMPARE(sim.command("connections tcp0"), QStringLiteral("ok 0"));
        QCOMPARE(list(0)->item(0)->text(), QStringLiteral("Sim\t[127.0.0.1:%1]").arg(logger.port));

        ConfiguredDevice *device = &known;
        QCOMPARE(confirm(), QList<ConfiguredDevice *>{device});
        QCOMPARE(describe(device), QStringLiteral("%1 Sim Temp Hum 127.0.0.1:%2 TCP 0")
                                       .arg(logger.deviceNumber)
                                       .arg(logger.port));
        device->requestData();
        QTRY_VERIFY(device->isConnected());
        QVERIFY(sim.command("received tcp0").contains("ATDC"));
        // The device closes its connection after the answer; nothing else holds one open.
        QTRY_COMPARE(sim.command("connections tcp0"), QStringLiteral("ok 0"));
    }
};

QTEST_MAIN(ProjectTest)
#include "tst_project.moc"
