#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>

// Copies the write-ahead log of a database back into its file on a thread of its own. A copy
// ends with two disk syncs, tens of milliseconds that the GUI thread, which writes the rows,
// must not wait for. The copy is passive: it never blocks the writer nor the sibling programs'
// readers, and a copy that cannot finish is completed by the next one.
class WalCheckpointer : public QObject
{
    Q_OBJECT

public:
    WalCheckpointer(const QString &databasePath, const QString &connectionName,
                    QObject *parent = nullptr);
    ~WalCheckpointer() override;

    // Asks for one copy; requests made while one is waiting are the same request.
    void request();
    // Copies finished since construction (successful or not).
    int finishedCount() const { return m_nFinished.load(); }

private:
    void checkpoint();
    void release();

    QString m_strDatabasePath;
    QString m_strConnectionName;
    QThread m_thread;
    QObject *m_pWorker = nullptr;
    std::atomic<bool> m_bRequested{false};
    std::atomic<int> m_nFinished{0};
};
