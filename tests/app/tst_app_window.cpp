#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "project/projectmain.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"
#include "view/topcustomframe.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFile>
#include <QLabel>
#include <QMediaDevices>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace AppFixture;

class TestAppWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }

    void init()
    {
        clearAppSettings();
        m_dir = std::make_unique<TempProjectDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void optionsStartUncheckedAndSettingsKeysSurviveARestart()
    {
        const QString older = m_dir->projectPath("Older");
        const QString newer = m_dir->projectPath("Newer");
        QVERIFY(writeEmptyProject(older, 1000));
        QVERIFY(writeEmptyProject(newer, 1000));
        {
            std::unique_ptr<QSettings> settings(appSettings());
            settings->beginGroup("RecentProjects");
            settings->setValue("list", QStringList{"Older"});
            settings->setValue("projects", QVariantHash{{"Older", older}});
        }
        {
            VelmoranMain window;
            action(&window, "actAutoLoad")->trigger();
            action(&window, "actKeepAlive")->trigger();
            window.projectLoaded(newer);
            QVERIFY(window.isProjectOpen());
            window.slotCloseProject();
        }

        VelmoranMain restarted;
        QCOMPARE(restarted.recentList(), (QStringList{"Newer", "Older"}));
        QCOMPARE(restarted.recentProjects().value("Newer").toString(), newer);
        QCOMPARE(restarted.recentProjects().value("Older").toString(), older);
        QVERIFY(action(&restarted, "actAutoLoad")->isChecked());
        QVERIFY(!action(&restarted, "actAutoRecord")->isChecked());
        QVERIFY(action(&restarted, "actKeepAlive")->isChecked());
        // With auto load on, the restart opened the most recent project.
        QCOMPARE(restarted.projectFile(), newer);
    }

    void recentProjectWhoseFileWasDeletedIsPruned()
    {
        const QString kept = m_dir->projectPath("Kept");
        const QString gone = m_dir->projectPath("Gone");
        const QString opened = m_dir->projectPath("Opened");
        QVERIFY(writeEmptyProject(kept, 1000));
        QVERIFY(writeEmptyProject(opened, 1000));
        {
            std::unique_ptr<QSettings> settings(appSettings());
            settings->beginGroup("RecentProjects");
            settings->setValue("list", QStringList{"Gone", "Kept"});
            settings->setValue("projects", QVariantHash{{"Gone", gone}, {"Kept", kept}});
        }

        VelmoranMain window;
        QCOMPARE(window.recentList(), QStringList{"Kept"});
        QVERIFY(!window.recentProjects().contains("Gone"));
        QVERIFY(window.recentProjects().contains("Kept"));

        // The next save writes the pruned state back.
        window.projectLoaded(opened);
        std::unique_ptr<QSettings> settings(appSettings());
        settings->beginGroup("RecentProjects");
        QCOMPARE(settings->value("list").toStringList(), (QStringList{"Opened", "Kept"}));
        QVERIFY(!settings->value("projects").toHash().contains("Gone"));
    }

    void autoLoadOpensTheMostRecentProjectWithoutWaitingForTheAudioBox()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 5000));
        {
            std::unique_ptr<QSettings> settings(appSettings());
            settings->beginGroup("RecentProjects");
            settings->setValue("list", QStringList{"Line1"});
            settings->setValue("projects", QVariantHash{{"Line1", path}});
            settings->setValue("autoLoad", true);
            settings->setValue("autoRecord", true);
        }

        // A box that waited for a click would never let the constructor return.
        VelmoranMain window;
        QVERIFY(window.projectCenter());
        QVERIFY(window.store() && window.store()->isConnected());
        QVERIFY(window.isRecording());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("this machine has a sound device: no missing-device notice to look at");
        // No sound device at all is no fault worth a box: the status bar says it quietly.
        QVERIFY(window.findChildren<QMessageBox *>().isEmpty());
        const auto *notice = window.findChild<QLabel *>("label_sound");
        QVERIFY(notice && !notice->isHidden());
        QCOMPARE(notice->text(), QStringLiteral("Alarm sound off: no sound device"));
        QVERIFY(window.alarmSound()->hasNoSoundDevice());

        window.slotStopRecord();
        QVERIFY(window.close());
    }

    void projectActionsAreEnabledExactlyWhileAProjectIsOpen()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        const QStringList projectActions{"actAddDelete", "actClose", "actRefreshDevices",
                                         "actPlotvane", "actExpansionMode"};
        VelmoranMain window;
        auto *reportMenu = window.findChild<QMenu *>("reportMenu");
        QVERIFY(reportMenu);

        for (const QString &name : projectActions)
            QVERIFY2(!action(&window, name)->isEnabled(), qPrintable(name));
        QVERIFY(!reportMenu->menuAction()->isEnabled());
        QVERIFY(action(&window, "actExit")->isEnabled());

        window.projectLoaded(path);
        for (const QString &name : projectActions)
            QVERIFY2(action(&window, name)->isEnabled(), qPrintable(name));
        QVERIFY(reportMenu->menuAction()->isEnabled());
        QVERIFY(action(&window, "actExit")->isEnabled());

        action(&window, "actExpansionMode")->trigger();
        QVERIFY(action(&window, "actExpansionMode")->isChecked());
        action(&window, "actClose")->trigger();
        QVERIFY(!window.isProjectOpen());
        QVERIFY(window.projectMain());
        QVERIFY(!window.projectCenter());
        QVERIFY(!window.store());
        QVERIFY(!action(&window, "actExpansionMode")->isChecked());
        for (const QString &name : projectActions)
            QVERIFY2(!action(&window, name)->isEnabled(), qPrintable(name));
        QVERIFY(!reportMenu->menuAction()->isEnabled());
    }

    void recordingDisablesExitAddDeleteAndClose()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);

        window.slotStartRecord();
        QVERIFY(window.isRecording());
        QVERIFY(!action(&window, "actExit")->isEnabled());
        QVERIFY(!action(&window, "actAddDelete")->isEnabled());
        QVERIFY(!action(&window, "actClose")->isEnabled());
        QVERIFY(action(&window, "actRefreshDevices")->isEnabled());
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 window.projectCenter()->recordStartText());

        window.slotToggleRecord();
        QVERIFY(!window.isRecording());
        QVERIFY(action(&window, "actExit")->isEnabled());
        QVERIFY(action(&window, "actAddDelete")->isEnabled());
        QVERIFY(action(&window, "actClose")->isEnabled());
    }

    void closingWhileRecordingIsRefusedUntilStopped()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.show();
        window.projectLoaded(path);
        window.slotStartRecord();

        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QVERIFY(window.store());
        QCOMPARE(shownMessages(&window),
                 (QList<ShownMessage>{{"WARNING", "Recording is running.\nStop the recording "
                                                  "before closing the program."}}));

        window.slotStopRecord();
        QVERIFY(window.close());
        QVERIFY(!window.store());
        QVERIFY(window.configuredDevices().isEmpty());
        QCOMPARE(activeTimersWithInterval(&window, 1000), 0);
        QCOMPARE(activeTimersWithInterval(&window, 1500), 0);
    }

    void theWindowComesBackWhereItWasLeft()
    {
        QRect place;
        {
            VelmoranMain window;
            window.show();
            window.setGeometry(40, 30, 1000, 660);
            place = window.geometry();
            QCOMPARE(place.topLeft(), QPoint(40, 30));
            QVERIFY(window.close());
        }
        VelmoranMain restarted;
        restarted.show();
        QCOMPARE(restarted.geometry(), place);
    }

    void reportEntriesWithoutAToolCanNeverTrigger()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);
        const QStringList names{"actWeeklyReport", "actMonthlyReport", "actHaccpReport"};
        const QStringList texts{"Weekly Report", "Monthly Report", "HACCP Report"};
        for (int i = 0; i < names.size(); ++i) {
            QAction *entry = action(&window, names[i]);
            QVERIFY(entry);
            QCOMPARE(entry->text(), texts[i]);
            QVERIFY(!entry->isEnabled());
            QSignalSpy triggered(entry, &QAction::triggered);
            entry->trigger();
            QCOMPARE(triggered.count(), 0);
        }
        QVERIFY(action(&window, "actDailyReport")->isEnabled());
        // The history window is the program's own: it opens beside the sibling entries.
        QAction *history = action(&window, "actHistory");
        QVERIFY(history && history->isEnabled());
        history->trigger();
        QVERIFY(window.projectCenter()->historyView());
        QVERIFY(window.projectCenter()->historyView()->isVisible());
    }

    void twoDoubleClicksOnTheTitleReturnToNormal()
    {
        VelmoranMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *title = window.findChild<TopCustomFrame *>("menuFrame");
        QVERIFY(title);
        QAction *fullScreen = action(&window, "actFullScreen");

        QTest::mouseDClick(title, Qt::LeftButton);
        QVERIFY(window.isFullScreen());
        QVERIFY(fullScreen->isChecked());

        QTest::mouseDClick(title, Qt::LeftButton);
        QVERIFY(!window.isFullScreen());
        QVERIFY(!fullScreen->isChecked());
    }

    void timedMessagesCloseThemselvesIndependently()
    {
        VelmoranMain window;
        window.showTimedMessage("ERROR", "first");
        window.showTimedMessage("WARNING", "second\nline");
        QCOMPARE(countMessages(&window, "ERROR", "first"), 1);
        QCOMPARE(countMessages(&window, "WARNING", "second\nline"), 1);

        // Closing the first early leaves the second alone, and the first one's timer must not
        // reach the deleted dialog.
        const QList<MessageDialog *> dialogs = window.findChildren<MessageDialog *>();
        QCOMPARE(dialogs.size(), 2);
        for (MessageDialog *dialog : dialogs) {
            if (dialog->findChild<QGroupBox *>("groupBox_message")->title() == "ERROR")
                dialog->close();
        }
        QTRY_COMPARE(window.findChildren<MessageDialog *>().size(), 1);
        QCOMPARE(countMessages(&window, "WARNING", "second\nline"), 1);

        QTRY_COMPARE_WITH_TIMEOUT(window.findChildren<MessageDialog *>().size(), 0, 7000);
    }

private:
    std::unique_ptr<TempProjectDir> m_dir;
};

QTEST_MAIN(TestAppWindow)
#include "tst_app_window.moc"
