#pragma once

#include "store/eventtable.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class ConfiguredDevice;
class PgEventReader;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The event log of the open project: newest first, a page at a time, filtered by logger, kind
// and acknowledgement; operators acknowledge alarms here and export the log as CSV. A project
// that records into a central database shows the server's log, read in the background.
class EventsView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PAGE_SIZE = 100;

    EventsView(const QString &projectFile, const QList<ConfiguredDevice *> &devices,
               QWidget *parent = nullptr);
    ~EventsView() override;

    bool isDatabaseOpen() const { return m_bOpen; }
    bool isServer() const { return m_pServer != nullptr; }
    QList<EventRecord> shownRecords() const { return m_records; }
    int page() const { return m_nPage; }
    int totalCount() const { return m_nTotal; }
    QString operatorName() const;
    void setOperatorName(const QString &name);
    // The whole log of the time range as CSV; false with a message shown when it fails.
    bool exportCsv(const QString &path, qint64 from, qint64 to);

signals:
    void acknowledged();
    void communicationLossAlarmChanged(bool on);

public slots:
    void refresh();
    void showPage(int page);
    // The selected row's alarm, or every unacknowledged one.
    void acknowledgeSelected();
    void acknowledgeAll();

private:
    void buildUi(const QList<ConfiguredDevice *> &devices);
    EventFilter currentFilter() const;
    void fillTable();
    QString loggerName(const QString &serial) const;
    void exportClicked();
    void onPageRead(quint64 request, bool ok, int total, const QList<EventRecord> &records,
                    const QString &error);
    void onAcknowledged(quint64 request, int count);

    QString m_strProjectFile;
    QString m_strConnection;
    bool m_bOpen = false;
    PgEventReader *m_pServer = nullptr;
    // The page and the acknowledgement the server is asked for; 0: none waits.
    quint64 m_nPageRequest = 0;
    int m_nRequestedPage = 0;
    quint64 m_nAckRequest = 0;
    QHash<QString, QString> m_names;
    QList<EventRecord> m_records;
    int m_nPage = 0;
    int m_nTotal = 0;
    QComboBox *m_pLogger = nullptr;
    QComboBox *m_pKind = nullptr;
    QCheckBox *m_pUnacknowledged = nullptr;
    QTableWidget *m_pTable = nullptr;
    QLabel *m_pPageLabel = nullptr;
    QPushButton *m_pNewer = nullptr;
    QPushButton *m_pOlder = nullptr;
    QLineEdit *m_pOperator = nullptr;
    QCheckBox *m_pCommunicationLossAlarm = nullptr;
    QDateTimeEdit *m_pFrom = nullptr;
    QDateTimeEdit *m_pTo = nullptr;
};
