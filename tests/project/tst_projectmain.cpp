#include "project/filechooser.h"
#include "project/projectmain.h"
#include "tests/project/messageprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Answers the file dialogs with a fixed path and remembers how they were asked.
struct ChooserScript
{
    QString answer;
    QString caption;
    QString filter;
    bool save = false;
    int calls = 0;

    void install()
    {
        FileChooser::setOverride([this](QWidget *, const QString &cap, const QString &,
                                        const QString &filt, bool isSave) {
            ++calls;
            caption = cap;
            filter = filt;
            save = isSave;
            return answer;
        });
    }
};

class ProjectMainTest : public QObject
{
    Q_OBJECT

private:
    QStringList m_keys;
    QHash<QString, QVariant> m_paths;
    std::unique_ptr<TempProjectDir> m_dir;
    ChooserScript m_chooser;

    std::unique_ptr<ProjectMain> makePanel()
    {
        return std::make_unique<ProjectMain>(&m_keys, &m_paths);
    }

    static void writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        m_chooser.install();
    }
    void cleanupTestCase() { FileChooser::setOverride({}); }

    void init()
    {
        m_keys.clear();
        m_paths.clear();
        m_dir = std::make_unique<TempProjectDir>();
        QVERIFY(m_dir->isValid());
        m_chooser = {};
    }

    void createAsksForATpcFileToSave()
    {
        auto panel = makePanel();
        QTest::mouseClick(panel->findChild<QPushButton *>("btn_create"), Qt::LeftButton);
        QCOMPARE(m_chooser.calls, 1);
        QCOMPARE(m_chooser.caption, QStringLiteral("Create Project"));
        QCOMPARE(m_chooser.filter, QStringLiteral("*.tpc"));
        QVERIFY(m_chooser.save);
    }

    void createAcceptsANameOfTwentyCharactersWithItsSuffix()
    {
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = m_dir->filePath("abcdefghijklmnop");
        panel->slotCreateProject();
        const QString expected = m_dir->filePath("abcdefghijklmnop.tpc");
        QCOMPARE(created.count(), 1);
        QCOMPARE(created.at(0).at(0).toString(), expected);
        QVERIFY(QFile::exists(expected));
        QVERIFY(shownMessages(panel.get()).isEmpty());
    }

    void createRefusesANameOfTwentyOneCharactersNamingIt()
    {
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = m_dir->filePath("abcdefghijklmnopq");
        panel->slotCreateProject();
        QCOMPARE(created.count(), 0);
        QVERIFY(!QFile::exists(m_dir->filePath("abcdefghijklmnopq.tpc")));
        const QList<ShownMessage> expected = {
            {"ERROR", "\"abcdefghijklmnopq.tpc\" is too long.\nPlease retry.\nMax Length is 20 "
                      "charactors."}};
        QCOMPARE(shownMessages(panel.get()), expected);
    }

    void createKeepsAnotherSuffix()
    {
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = m_dir->filePath("Line1.txt");
        panel->slotCreateProject();
        QCOMPARE(created.count(), 1);
        QCOMPARE(created.at(0).at(0).toString(), m_dir->filePath("Line1.txt"));
        QVERIFY(QFile::exists(m_dir->filePath("Line1.txt")));
        QVERIFY(!QFile::exists(m_dir->filePath("Line1.txt.tpc")));
    }

    void createOverAnExistingProjectEmptiesIt()
    {
        const QString path = m_dir->projectPath("Line1");
        writeFile(path, "[Project]\nDeviceList=\"{}\"\n");
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = path;
        panel->slotCreateProject();
        QCOMPARE(created.count(), 1);
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void createInAMissingFolderReportsTheFile()
    {
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = m_dir->filePath("missing/Line1.tpc");
        panel->slotCreateProject();
        QCOMPARE(created.count(), 0);
        const QList<ShownMessage> expected = {{"ERROR", "Unable to open the project file."}};
        QCOMPARE(shownMessages(panel.get()), expected);
    }

    void cancelledDialogsChangeNothing()
    {
        auto panel = makePanel();
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        QSignalSpy loaded(panel.get(), &ProjectMain::projectLoaded);
        panel->slotCreateProject();
        panel->slotOpenProject();
        QCOMPARE(m_chooser.calls, 2);
        QCOMPARE(created.count() + loaded.count(), 0);
        QVERIFY(shownMessages(panel.get()).isEmpty());
    }

    void openLoadsAnExistingProject()
    {
        const QString path = m_dir->projectPath("Line1");
        writeFile(path, "[Project]\n");
        auto panel = makePanel();
        QSignalSpy loaded(panel.get(), &ProjectMain::projectLoaded);
        m_chooser.answer = path;
        QTest::mouseClick(panel->findChild<QPushButton *>("btn_open"), Qt::LeftButton);
        QCOMPARE(m_chooser.caption, QStringLiteral("Open Project"));
        QVERIFY(!m_chooser.save);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded.at(0).at(0).toString(), path);
        QCOMPARE(QFileInfo(path).size(), 10);
    }

    void openRefusesANameOverTwentyCharactersEvenWhenTheFileExists()
    {
        const QString path = m_dir->filePath("abcdefghijklmnopq.tpc");
        writeFile(path, "[Project]\n");
        auto panel = makePanel();
        QSignalSpy loaded(panel.get(), &ProjectMain::projectLoaded);
        m_chooser.answer = path;
        panel->slotOpenProject();
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(shownMessages(panel.get()).size(), 1);
        QVERIFY(shownMessages(panel.get()).at(0).text.startsWith("\"abcdefghijklmnopq.tpc\""));
    }

    void openOfAMissingFileReportsIt()
    {
        auto panel = makePanel();
        QSignalSpy loaded(panel.get(), &ProjectMain::projectLoaded);
        m_chooser.answer = m_dir->projectPath("gone");
        panel->slotOpenProject();
        QCOMPARE(loaded.count(), 0);
        const QList<ShownMessage> expected = {{"ERROR", "Unable to open the project file."}};
        QCOMPARE(shownMessages(panel.get()), expected);
    }

    void recentEntryShowsKeyFolderAndBaseName()
    {
        m_keys = {"Line1", "Line2"};
        m_paths = {{"Line1", "D:/logs/Line1.tpc"}, {"Line2", "/srv/data/Line2.tpc"}};
        auto panel = makePanel();
        auto *list = panel->findChild<QListWidget *>("listWidget");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Line1\t[D:/logs/Line1.tpc]"));
        QCOMPARE(list->item(0)->toolTip(), QStringLiteral("D:/logs/Line1.tpc"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Line2\t[/srv/data/Line2.tpc]"));
    }

    void recentEntryCutsAFolderOverSeventyCharacters()
    {
        const QString folder = "/" + QString(75, QLatin1Char('f'));
        const QString path = folder + "/Plant.tpc";
        m_keys = {"Plant"};
        m_paths = {{"Plant", path}};
        auto panel = makePanel();
        auto *list = panel->findChild<QListWidget *>("listWidget");
        QCOMPARE(list->item(0)->text(), "Plant\t[" + folder.left(70) + "..." + "/Plant.tpc]");
        QCOMPARE(list->item(0)->toolTip(), path);
    }

    void recentEntryOfExactlySeventyCharactersIsNotCut()
    {
        const QString folder = "/" + QString(69, QLatin1Char('f'));
        m_keys = {"Plant"};
        m_paths = {{"Plant", folder + "/Plant.tpc"}};
        auto panel = makePanel();
        QCOMPARE(panel->findChild<QListWidget *>("listWidget")->item(0)->text(),
                 "Plant\t[" + folder + "/Plant.tpc]");
    }

    void activatingARecentEntryLoadsItsPath()
    {
        m_keys = {"Line1", "Line2"};
        m_paths = {{"Line1", "/a/Line1.tpc"}, {"Line2", "/b/Line2.tpc"}};
        auto panel = makePanel();
        panel->show();
        QSignalSpy loaded(panel.get(), &ProjectMain::projectLoaded);
        auto *list = panel->findChild<QListWidget *>("listWidget");
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded.at(0).at(0).toString(), QStringLiteral("/b/Line2.tpc"));
    }

    void withoutRecentProjectsTheListIsEmptyAndCreateStillWorks()
    {
        auto panel = makePanel();
        QCOMPARE(panel->findChild<QListWidget *>("listWidget")->count(), 0);
        QSignalSpy created(panel.get(), &ProjectMain::projectCreated);
        m_chooser.answer = m_dir->filePath("New");
        QTest::mouseClick(panel->findChild<QPushButton *>("btn_create"), Qt::LeftButton);
        QCOMPARE(created.count(), 1);
    }
};

QTEST_MAIN(ProjectMainTest)
#include "tst_projectmain.moc"
