#pragma once

#include "tests/support/simprocess.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class ConfiguredDevice;
class UsbEnumerator;
class VelmoranMain;

// The whole program recording from simulated loggers: a real main window with a project
// loaded from a real project file, a real database, and the acquisition cycle driven by the
// test (the window's own timers are held) so that every poll and flush happens when the test
// says and nothing happens behind its back.
class RecordingRig
{
public:
    explicit RecordingRig(SimProcess *sim);
    ~RecordingRig();
    RecordingRig(const RecordingRig &) = delete;
    RecordingRig &operator=(const RecordingRig &) = delete;

    // Writes a project of these simulator loggers (ids) into folder with a 1000 ms interval,
    // loads it, holds the timers and starts recording. The enumerator (owned) stands in for
    // the USB bus. False with failure() saying why.
    bool open(const QString &folder, const QStringList &ids, UsbEnumerator *enumerator = nullptr);
    QString failure() const { return m_strFailure; }

    VelmoranMain *window() const { return m_pWindow.get(); }
    ConfiguredDevice *device(const QString &id) const;
    QString serialOf(const QString &id) const;

    // Stops the window's own timers again (starting a recording restarts the flush timer).
    void holdTimers();
    // One poll of every logger, then runs the event loop until each of the answering loggers
    // has queued its reply as a row (false on time-out).
    bool pollAndWait(const QStringList &answering, int timeoutMs = 5000);
    // One poll of every logger, with no reply expected from any of them.
    void pollUnanswered();
    // The window's flush step; true when it left nothing queued.
    bool flush();

    // Poll answers the simulator sent for this logger since open().
    int answeredSinceOpen(const QString &id);
    // Rows of this logger in the database, all and with a value.
    int storedRows(const QString &id, bool withValueOnly = false) const;
    // Rows without values stored when this logger stopped answering (one per lost communication).
    int breakRows(const QString &id) const;
    // Stops the recording (which writes what is queued) and checks that every answer the
    // logger sent is in the database exactly once, next to the one gap row each stop adds.
    // notStored: answers of a logger that are no sample at all (a line the program drops).
    bool everyAnswerStoredOnce(const QStringList &ids, QString *why,
                               const QHash<QString, int> &notStored = {});
    QString databasePath() const { return m_strDatabasePath; }
    QString projectPath() const { return m_strProjectPath; }

    // Timed messages shown on the window with this title and text.
    int shownMessages(const QString &title, const QString &text) const;

private:
    SimProcess *m_pSim;
    std::unique_ptr<VelmoranMain> m_pWindow;
    QHash<QString, int> m_answersAtOpen;
    QHash<QString, QString> m_serials;
    QString m_strFailure;
    QString m_strDatabasePath;
    QString m_strProjectPath;
    int m_nStops = 0;
};

// Reads a count from a simulator reply "ok <n>"; -1 for anything else.
int simCount(const QString &reply);
// PRAGMA integrity_check of a database file, through a connection of its own.
QString integrityCheck(const QString &databasePath);
