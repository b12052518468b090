#include "project/filechooser.h"
#include "project/projectmain.h"
#include "tests/support/messageprobe.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QString TOO_LONG =
    "\"abcdefghijklmnopq.tpc\" is too long.\nPlease retry.\nMax Length is 20 charactors.";
const QString CANNOT_OPEN = "Unable to open the project file.";
const QByteArray PROJECT = "[Project]\nDeviceList=\"{}\"\n";
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

    ProjectMain *makePanel()
    {
        m_panel = std::make_unique<ProjectMain>(&m_keys, &m_paths);
        return m_panel.get();
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
        QVERIFY(QSettings("VelmoranLite", "Velmoran Lite")
                    .fileName()
                    .startsWith(isolatedSettingsDir()));
        FileChooser::setOverride([this](QWidget *, const QString &caption, const QString &dir,
                                        const QString &filter, bool save) {
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
    }
    void cleanup() { m_panel.reset(); }

    // "{dir}" stands for the test's folder. Nothing but a created project may change a file.
    void createAndOpenCheckTheNameAndNeverReplaceAFileNobodyAgreedToReplace_data()
    {
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");
        const QByteArray database("SQLite format 3\0rest", 20);
        QTest::newRow("create, twenty characters with the suffix")
            << true << "" << QByteArray() << "abcdefghijklmnop"
            << "created {dir}/abcdefghijklmnop.tpc";
        QTest::newRow("create, twenty-one characters")
            << true << "" << QByteArray() << "abcdefghijklmnopq"
            << "ERROR " + TOO_LONG;
        QTest::newRow("create, another suffix is kept") << true << "" << QByteArray() << "Line1.txt"
                                                        << "created {dir}/Line1.txt";
        QTest::newRow("create, missing folder") << true << "" << QByteArray() << "missing/Line1.tpc"
                                                << "ERROR " + CANNOT_OPEN;
        // The name as the dialog returns it after its overwrite question.
        QTest::newRow("create over an existing project empties it")
            << true << "Line1.tpc" << PROJECT << "Line1.tpc"
            << "created {dir}/Line1.tpc";
        // The dialog asked about "Line1"; "Line1.tpc" is another file.
        QTest::newRow("create, suffix added to an existing project")
            << true << "Line1.tpc" << PROJECT << "Line1"
            << "WARNING \"Line1.tpc\" already exists.\nChoose it in the dialog to replace it.";
        QTest::newRow("create over a project's database")
            << true << "Line1.dat" << database << "Line1.dat"
            << "ERROR \"Line1.dat\" is a database, not a project file.\nPlease retry.";
        QTest::newRow("open") << false << "Line1.tpc" << PROJECT << "Line1.tpc"
                              << "loaded {dir}/Line1.tpc";
        QTest::newRow("open, name over twenty characters")
            << false << "abcdefghijklmnopq.tpc" << PROJECT << "abcdefghijklmnopq.tpc"
            << "ERROR " + TOO_LONG;
        QTest::newRow("open, missing file") << false << "" << QByteArray() << "gone.tpc"
                                            << "ERROR " + CANNOT_OPEN;
        QTest::newRow("cancelled") << true << "" << QByteArray() << ""
                                   << "";
    }

    void createAndOpenCheckTheNameAndNeverReplaceAFileNobodyAgreedToReplace()
    {
        QFETCH(bool, create);
        QFETCH(QString, existing);
        QFETCH(QByteArray, content);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        const QDir dir(m_dir->path());
        QStringList files;
        if (!existing.isEmpty()) {
            QFile file(dir.filePath(existing));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
            files << existing;
        }
        makePanel();
        expected.replace("{dir}", m_dir->path());
        QCOMPARE(outcome(answer.isEmpty() ? answer : dir.filePath(answer), create), expected);
        QCOMPARE(m_caption,
                 create ? QStringLiteral("Create Project") : QStringLiteral("Open Project"));
        QCOMPARE(m_filter, QStringLiteral("*.tpc"));
        QCOMPARE(m_bSave, create);

        const QString created = expected.startsWith("created ") ? expected.mid(8) : QString();
        if (!created.isEmpty() && !files.contains(QFileInfo(created).fileName()))
            files << QFileInfo(created).fileName();
        files.sort();
        QCOMPARE(dir.entryList(QDir::Files, QDir::Name), files);
        if (!created.isEmpty())
            QCOMPARE(QFileInfo(created).size(), 0);
        else if (!existing.isEmpty())
            QCOMPARE(QFileInfo(dir.filePath(existing)).size(), content.size());
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

    void recentEntryShowsKeyAndFolderCutAfterSeventyCharacters()
    {
        const QString folder70 = "/" + QString(69, 'f');
        const QString folder76 = "/" + QString(75, 'f');
        m_keys = {"Line1", "Plant", "Exact"};
        m_paths = {{"Line1", "D:/logs/Line1.tpc"},
                   {"Plant", folder76 + "/Plant.tpc"},
                   {"Exact", folder70 + "/Exact.tpc"}};
        auto *list = makePanel()->findChild<QListWidget *>("listWidget");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Line1\t[D:/logs/Line1.tpc]"));
        QCOMPARE(list->item(1)->text(), "Plant\t[" + folder76.left(70) + ".../Plant.tpc]");
        QCOMPARE(list->item(1)->toolTip(), folder76 + "/Plant.tpc");
        QCOMPARE(list->item(2)->text(), "Exact\t[" + folder70 + "/Exact.tpc]");
    }
};

QTEST_MAIN(ProjectMainTest)
#include "tst_projectmain.moc"
