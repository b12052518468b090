#include "tests/faults/recordingrig.h"

#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "discovery/usbenumerator.h"
#include "project/messagedialog.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "store/pendingeventqueue.h"
#include "tests/support/simulatorproject.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace {
// No USB logger is ever present unless a test says so: the machine's own bus stays out.
class NoUsbLoggers : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override { return {}; }
};

bool writeProject(const QString &path, const QList<SimProcess::Logger> &loggers)
{
    return writeSimulatorProject(path, loggers, 1000, {-1000, 1000, -1000, 1000});
}

int queryCount(const QString &databasePath, const QString &sql, const QString &bound)
{
    static int serial = 0;
    const QString name = QStringLiteral("faultreader%1").arg(++serial);
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(sql);
            query.addBindValue(bound);
            if (query.exec() && query.next())
                count = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}
} // namespace

int simCount(const QString &reply)
{
    if (!reply.startsWith(QStringLiteral("ok ")))
        return -1;
    bool ok = false;
    const int value = reply.mid(3).trimmed().toInt(&ok);
    return ok ? value : -1;
}

QString integrityCheck(const QString &databasePath)
{
    const QString name = QStringLiteral("faultintegrity");
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next())
                result = query.value(0).toString();
        } else {
            result = QStringLiteral("cannot open");
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

RecordingRig::RecordingRig(SimProcess *sim) : m_pSim(sim) {}

RecordingRig::~RecordingRig()
{
    if (!m_pWindow)
        return;
    if (m_pWindow->isRecording())
        m_pWindow->slotStopRecord();
    m_pWindow->slotCloseProject();
    m_pWindow.reset();
}

bool RecordingRig::open(const QString &folder, const QStringList &ids, UsbEnumerator *enumerator)
{
    QList<SimProcess::Logger> loggers;
    int tcpLoggers = 0;
    for (const QString &id : ids) {
        const SimProcess::Logger logger = m_pSim->logger(id);
        if (logger.id.isEmpty()) {
            m_strFailure = QStringLiteral("the simulator has no logger ") + id;
            delete enumerator;
            return false;
        }
        loggers.append(logger);
        m_serials.insert(id, logger.deviceNumber);
        m_answersAtOpen.insert(id, simCount(m_pSim->command(QStringLiteral("count ") + id)));
        if (logger.kind == QStringLiteral("TCP"))
            ++tcpLoggers;
    }
    m_strProjectPath = QDir(folder).filePath(QStringLiteral("Faults.tpc"));
    if (!writeProject(m_strProjectPath, loggers)) {
        m_strFailure = QStringLiteral("cannot write the project file");
        delete enumerator;
        return false;
    }
    m_strDatabasePath = ProjectFile::databasePath(m_strProjectPath);

    m_pWindow = std::make_unique<VelmoranMain>();
    m_pWindow->setUsbEnumerator(enumerator ? enumerator : new NoUsbLoggers);
    holdTimers();
    m_pWindow->projectLoaded(m_strProjectPath);
    holdTimers();
    m_pWindow->slotStartRecord();
    holdTimers();
    if (!m_pWindow->isRecording() || m_pWindow->configuredDevices().size() != ids.size()) {
        m_strFailure = QStringLiteral("the project did not load or does not record");
        return false;
    }
    if (enumerator)
        m_pWindow->checkConnection();
    // Loading polls every network logger once; its answers are part of the recording.
    if (!QTest::qWaitFor([&] { return m_pWindow->pendingRows().count() >= tcpLoggers; }, 5000)) {
        m_strFailure = QStringLiteral("the first poll was not answered");
        return false;
    }
    return true;
}

ConfiguredDevice *RecordingRig::device(const QString &id) const
{
    const QString serial = m_serials.value(id);
    for (ConfiguredDevice *device : m_pWindow->configuredDevices()) {
        if (device->deviceNumber() == serial)
            return device;
    }
    return nullptr;
}

QString RecordingRig::serialOf(const QString &id) const
{
    return m_serials.value(id);
}

void RecordingRig::holdTimers()
{
    QList<QTimer *> timers = m_pWindow->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    timers += m_pWindow->recorder()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly);
    for (QTimer *timer : timers)
        timer->stop();
}

bool RecordingRig::pollAndWait(const QStringList &answering, int timeoutMs)
{
    // A logger that stops answering queues a break row beside its "communication lost" event.
    const auto samples = [this] {
        const PendingEventQueue &events = m_pWindow->recorder()->pendingEvents();
        int breaks = 0;
        for (int i = 0; i < events.count(); ++i)
            breaks += events.at(i).kind == EventKind::communicationLost;
        return m_pWindow->pendingRows().count() - breaks;
    };
    const int before = samples();
    m_pWindow->writeDevice();
    return QTest::qWaitFor([&] { return samples() >= before + answering.size(); }, timeoutMs);
}

void RecordingRig::pollUnanswered()
{
    m_pWindow->writeDevice();
    // Lets refusals and resets of the poll's connection attempts arrive before the next poll.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool RecordingRig::flush()
{
    m_pWindow->writeDb();
    return m_pWindow->pendingRows().count() == 0;
}

int RecordingRig::answeredSinceOpen(const QString &id)
{
    return simCount(m_pSim->command(QStringLiteral("count ") + id)) - m_answersAtOpen.value(id);
}

int RecordingRig::storedRows(const QString &id, bool withValueOnly) const
{
    return queryCount(m_strDatabasePath,
                      withValueOnly ? QStringLiteral("select count(channel1) from kestrelix "
                                                     "where serialno = ?")
                                    : QStringLiteral("select count(*) from kestrelix "
                                                     "where serialno = ?"),
                      m_serials.value(id));
}

int RecordingRig::breakRows(const QString &id) const
{
    return std::max(0, queryCount(m_strDatabasePath,
                                  QStringLiteral("select count(*) from kestrelix_event where "
                                                 "serialno = ? and kind = 'communication lost'"),
                                  m_serials.value(id)));
}

bool RecordingRig::everyAnswerStoredOnce(const QStringList &ids, QString *why,
                                         const QHash<QString, int> &notStored)
{
    // Answers still on their way belong to the recording: wait for them before stopping.
    const auto answered = [&] {
        int sum = 0;
        for (const QString &id : ids)
            sum += answeredSinceOpen(id) - notStored.value(id);
        return sum;
    };
    const auto stored = [&] {
        int sum = 0;
        for (const QString &id : ids)
            sum += storedRows(id) - m_nStops - breakRows(id);
        return sum;
    };
    const bool settled = QTest::qWaitFor(
        [&] { return stored() + m_pWindow->pendingRows().count() >= answered(); }, 3000);
    m_pWindow->slotStopRecord();
    ++m_nStops;
    if (!settled) {
        *why = QStringLiteral("fewer rows were recorded than the loggers answered");
        return false;
    }
    for (const QString &id : ids) {
        const int answers = answeredSinceOpen(id) - notStored.value(id);
        const int rows = storedRows(id) - breakRows(id);
        if (rows != answers + m_nStops) {
            *why = QStringLiteral("%1 answered %2 polls, the database holds %3 rows (%4 gap rows)")
                       .arg(id)
                       .arg(answers)
                       .arg(rows)
                       .arg(m_nStops);
            return false;
        }
    }
    return true;
}

int RecordingRig::shownMessages(const QString &title, const QString &text) const
{
    int count = 0;
    const QList<QWidget *> widgets = QApplication::allWidgets();
    for (const QWidget *widget : widgets) {
        const auto *dialog = qobject_cast<const MessageDialog *>(widget);
        if (!dialog || !dialog->isVisible())
            continue;
        const auto *box = dialog->findChild<QGroupBox *>(QStringLiteral("groupBox_message"));
        const auto *view = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
        if (box && view && box->title() == title && view->toPlainText() == text)
            ++count;
    }
    return count;
}
