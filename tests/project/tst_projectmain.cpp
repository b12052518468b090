#include "project/filechooser.h"
#include "project/projectmain.h"
#include "tests/support/messageprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QString TOO_LONG =
    "\"abcdefghijklmnopq.tpc\" is too long.\nPlease retry.\nMax Length is 20 charactors.";
const QString CANNOT_OPEN = "Unable to open the project file.";
} // namespace

class ProjectMainTest : public QObject
{
    Q_OBJECT

private:
    QStringList m_keys;
    QHash<QString, QVariant> m_paths;
    std::unique_ptr<TempProjectDir> m_dir;
    std::unique_ptr<ProjectMain> m_panel;
    // The file dialogs answer this path and remember how they were asked.
    QString m_answer, m_caption, m_filter, m_startDir;
    bool m_bSave = false;
    int m_calls = 0;

    ProjectMain *makePanel()
    {
        m_panel = std::make_unique<ProjectMain>(&m_keys, &m_paths);
        return m_panel.get();
    }
    static void writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // What one click of create (or open) led to: "created <path>", "loaded <path>", the texts
    // of the messages shown, or "" for nothing.
    QString outcome(const QString &answer, bool create)
    {
        m_answer = answer;
        QSignalSpy created(m_panel.get(), &ProjectMain::projectCreated);
        QSignalSpy loaded(m_panel.get(), &ProjectMain::projectLoaded);
        QTest::mouseClick(m_panel->findChild<QPushButton *>(create ? "btn_create" : "btn_open"),
                          Qt::LeftButton);
        QStringList result;
        for (const auto &signal : created)
            result << "created " + signal.at(0).toString();
        for (const auto &signal : loaded)
            result << "loaded " + signal.at(0).toString();
        for (const ShownMessage &message : shownMessages(m_panel.get()))
            result << message.title + " " + message.text;
        return result.join('|');
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
        FileChooser::setOverride([this](QWidget *, const QString &caption, const QString &dir,
                                        const QString &filter, bool save) {
            ++m_calls;
            m_startDir = dir;
            m_caption = caption;
            m_filter = filter;
            m_bSave = save;
            return m_answer;
        });
    }
    void cleanupTestCase() { FileChooser::setOverride({}); }

    void init()
    {
        m_keys.clear();
        m_paths.clear();
        m_dir = std::make_unique<TempProjectDir>();
        QVERIFY(m_dir->isValid());
        m_calls = 0;
    }
    void cleanup() { m_panel.reset(); }

    void createAndOpenAskForATpcFile()
    {
        makePanel();
        QCOMPARE(outcome(QString(), true), QString());
        QCOMPARE(m_calls, 1);
        QCOMPARE(m_caption, QStringLiteral("Create Project"));
        QCOMPARE(m_filter, QStringLiteral("*.tpc"));
        QVERIFY(m_bSave);
        QCOMPARE(outcome(QString(), false), QString());
        QCOMPARE(m_calls, 2);
        QCOMPARE(m_caption, QStringLiteral("Open Project"));
        QVERIFY(!m_bSave);
    }

    void createChecksTheNameAndMakesTheFile_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("message");
        QTest::newRow("twenty characters with the suffix") << "abcdefghijklmnop"
                                                           << "abcdefghijklmnop.tpc"
                                                           << "";
        QTest::newRow("twenty-one characters") << "abcdefghijklmnopq"
                                               << ""
                                               << "ERROR " + TOO_LONG;
        QTest::newRow("another suffix is kept") << "Line1.txt"
                                                << "Line1.txt"
                                                << "";
        QTest::newRow("missing folder") << "missing/Line1.tpc"
                                        << ""
                                        << "ERROR " + CANNOT_OPEN;
    }

    void createChecksTheNameAndMakesTheFile()
    {
        QFETCH(QString, answer);
        QFETCH(QString, created);
        QFETCH(QString, message);
        makePanel();
        const QString expected =
            created.isEmpty() ? message : "created " + m_dir->filePath(created);
        QCOMPARE(outcome(m_dir->filePath(answer), true), expected);
        QCOMPARE(QFile::exists(m_dir->filePath(answer + ".tpc")), created.endsWith(".tpc"));
        if (!created.isEmpty())
            QVERIFY(QFile::exists(m_dir->filePath(created)));
    }

    void createOverAnExistingProjectEmptiesIt()
    {
        const QString path = m_dir->projectPath("Line1");
        writeFile(path, "[Project]\nDeviceList=\"{}\"\n");
        makePanel();
        // The name as the dialog returns it after its overwrite question.
        QCOMPARE(outcome(path, true), "created " + path);
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void createNeverReplacesAFileNobodyAgreedToReplace_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        // The dialog asked about "Line1"; "Line1.tpc" is another file.
        QTest::newRow("suffix added to an existing project")
            << "Line1.tpc" << QByteArray("[Project]\n") << "Line1"
            << "WARNING \"Line1.tpc\" already exists.\nChoose it in the dialog to replace it.";
        QTest::newRow("a project's database")
            << "Line1.dat" << QByteArray("SQLite format 3\0rest", 20) << "Line1.dat"
            << "ERROR \"Line1.dat\" is a database, not a project file.\nPlease retry.";
    }

    void createNeverReplacesAFileNobodyAgreedToReplace()
    {
        QFETCH(QString, existing);
        QFETCH(QByteArray, content);
        QFETCH(QString, answer);
        QFETCH(QString, message);
        writeFile(m_dir->filePath(existing), content);
        makePanel();
        QCOMPARE(outcome(m_dir->filePath(answer), true), message);
        QFile file(m_dir->filePath(existing));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }

    // A folder that does not exist would be taken for a file name by the dialog.
    void dialogsStartInTheDocumentsFolderElseTheHomeFolder()
    {
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(m_dir->path()));
        makePanel();
        outcome(QString(), true);
        const QString withoutDocuments = m_startDir;
        QVERIFY(QDir(m_dir->path()).mkdir("Documents"));
        outcome(QString(), false);
        qputenv("HOME", home);
        QCOMPARE(withoutDocuments, QDir::cleanPath(m_dir->path()));
        QCOMPARE(m_startDir, m_dir->filePath("Documents"));
    }

    void openLoadsAnExistingProjectWithAShortName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("existing") << "Line1.tpc" << true << "";
        QTest::newRow("name over twenty characters")
            << "abcdefghijklmnopq.tpc" << true << "ERROR " + TOO_LONG;
        QTest::newRow("missing file") << "gone.tpc" << false << "ERROR " + CANNOT_OPEN;
    }

    void openLoadsAnExistingProjectWithAShortName()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        const QString path = m_dir->filePath(name);
        if (exists)
            writeFile(path, "[Project]\n");
        makePanel();
        QCOMPARE(outcome(path, false), message.isEmpty() ? "loaded " + path : message);
        if (exists)
            QCOMPARE(QFileInfo(path).size(), 10);
    }

    void recentEntryShowsKeyAndFolderCutAfterSeventyCharacters()
    {
        const QString folder70 = "/" + QString(69, 'f');
        const QString folder76 = "/" + QString(75, 'f');
        m_keys = {"Line1", "Line2", "Plant", "Exact"};
        m_paths = {{"Line1", "D:/logs/Line1.tpc"},
                   {"Line2", "/srv/data/Line2.tpc"},
                   {"Plant", folder76 + "/Plant.tpc"},
                   {"Exact", folder70 + "/Exact.tpc"}};
        auto *list = makePanel()->findChild<QListWidget *>("listWidget");
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Line1\t[D:/logs/Line1.tpc]"));
        QCOMPARE(list->item(0)->toolTip(), QStringLiteral("D:/logs/Line1.tpc"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Line2\t[/srv/data/Line2.tpc]"));
        QCOMPARE(list->item(2)->text(), "Plant\t[" + folder76.left(70) + ".../Plant.tpc]");
        QCOMPARE(list->item(2)->toolTip(), folder76 + "/Plant.tpc");
        QCOMPARE(list->item(3)->text(), "Exact\t[" + folder70 + "/Exact.tpc]");
    }

    void activatingARecentEntryLoadsItsPath()
    {
        m_keys = {"Line1", "Line2"};
        m_paths = {{"Line1", "/a/Line1.tpc"}, {"Line2", "/b/Line2.tpc"}};
        makePanel()->show();
        QSignalSpy loaded(m_panel.get(), &ProjectMain::projectLoaded);
        auto *list = m_panel->findChild<QListWidget *>("listWidget");
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(loaded.at(0).at(0).toString(), QStringLiteral("/b/Line2.tpc"));
    }

    void withoutRecentProjectsTheListIsEmptyAndCreateStillWorks()
    {
        QCOMPARE(makePanel()->findChild<QListWidget *>("listWidget")->count(), 0);
        QCOMPARE(outcome(m_dir->filePath("New"), true), "created " + m_dir->filePath("New.tpc"));
    }
};

QTEST_MAIN(ProjectMainTest)
#include "tst_projectmain.moc"
