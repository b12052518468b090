#include "view/eventsview.h"

#include "device/configureddevice.h"
#include "project/projectfile.h"
#include "project/timedmessage.h"
#include "store/eventcsvwriter.h"
#include "store/historycsvwriter.h"
#include "store/pgconnectionsettings.h"
#include "store/pgeventreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTableWidget>
#include <QUuid>
#include <QVBoxLayout>

namespace {

// Remembered while the program runs, so that an operator types the name once per shift.
QString &rememberedOperator()
{
    static QString name = [] {
        QString user = qEnvironmentVariable("USER");
        if (user.isEmpty())
            user = qEnvironmentVariable("USERNAME");
        return user;
    }();
    return name;
}

QString numberText(double value)
{
    return value == NO_VALUE ? QString() : QString::number(value, 'f', 2);
}

QString kindCaption(const QString &kind)
{
    return kind.isEmpty() ? kind : kind.at(0).toUpper() + kind.mid(1);
}

} // namespace

EventsView::EventsView(const QString &projectFile, const QList<ConfiguredDevice *> &devices,
                       QWidget *parent)
    : QWidget(parent, Qt::Window), m_strProjectFile(projectFile),
      m_strConnection(QStringLiteral("events-") + QUuid::createUuid().toString(QUuid::Id128))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Events"));
    for (const ConfiguredDevice *device : devices) {
        if (device)
            m_names.insert(device->deviceNumber(), device->deviceName().isEmpty()
                                                       ? device->deviceNumber()
                                                       : device->deviceName());
    }
    const QString location = ProjectFile::storeLocation(projectFile);
    if (PgConnectionSettings::isServerUrl(location)) {
        m_pServer = new PgEventReader(location, this);
        connect(m_pServer, &PgEventReader::pageRead, this, &EventsView::onPageRead);
        connect(m_pServer, &PgEventReader::acknowledged, this, &EventsView::onAcknowledged);
        setWindowTitle(QStringLiteral("Events - ") + m_pServer->displayName());
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
        db.setDatabaseName(ProjectFile::databasePath(projectFile));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        QString error;
        m_bOpen = db.open() && EventTable::create(db, &error);
    }
    buildUi(devices);
    refresh();
}

EventsView::~EventsView()
{
    if (!QSqlDatabase::contains(m_strConnection))
        return;
    QSqlDatabase::database(m_strConnection, false).close();
    QSqlDatabase::removeDatabase(m_strConnection);
}

void EventsView::buildUi(const QList<ConfiguredDevice *> &devices)
{
    auto *layout = new QVBoxLayout(this);
    auto *filters = new QHBoxLayout;
    m_pLogger = new QComboBox(this);
    m_pLogger->setObjectName(QStringLiteral("combo_logger"));
    m_pLogger->addItem(QStringLiteral("All loggers"), QString());
    for (const ConfiguredDevice *device : devices) {
        if (device)
            m_pLogger->addItem(loggerName(device->deviceNumber()), device->deviceNumber());
    }
    m_pKind = new QComboBox(this);
    m_pKind->setObjectName(QStringLiteral("combo_kind"));
    m_pKind->addItem(QStringLiteral("All kinds"), QString());
    for (const QString &kind :
         {EventKind::alarmStarted, EventKind::alarmPeak, EventKind::alarmEnded,
          EventKind::communicationLost, EventKind::communicationRestored,
          EventKind::recordingStarted, EventKind::recordingStopped, EventKind::limitsChanged,
          EventKind::loggerAdded, EventKind::loggerRemoved})
        m_pKind->addItem(kindCaption(kind), kind);
    m_pUnacknowledged = new QCheckBox(QStringLiteral("Unacknowledged only"), this);
    m_pUnacknowledged->setObjectName(QStringLiteral("check_unacknowledged"));
    auto *refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    filters->addWidget(m_pLogger);
    filters->addWidget(m_pKind);
    filters->addWidget(m_pUnacknowledged);
    filters->addStretch();
    filters->addWidget(refreshButton);
    layout->addLayout(filters);

    m_pTable = new QTableWidget(0, 7, this);
    m_pTable->setObjectName(QStringLiteral("table_events"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Logger"),
                                         QStringLiteral("Channel"), QStringLiteral("Kind"),
                                         QStringLiteral("Value"), QStringLiteral("Limits"),
                                         QStringLiteral("Acknowledged")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->verticalHeader()->hide();
    layout->addWidget(m_pTable);

    auto *paging = new QHBoxLayout;
    m_pNewer = new QPushButton(QStringLiteral("Newer"), this);
    m_pOlder = new QPushButton(QStringLiteral("Older"), this);
    m_pPageLabel = new QLabel(this);
    paging->addWidget(m_pNewer);
    paging->addWidget(m_pPageLabel);
    paging->addWidget(m_pOlder);
    paging->addStretch();
    paging->addWidget(new QLabel(QStringLiteral("Operator"), this));
    m_pOperator = new QLineEdit(rememberedOperator(), this);
    m_pOperator->setObjectName(QStringLiteral("edit_operator"));
    paging->addWidget(m_pOperator);
    auto *acknowledge = new QPushButton(QStringLiteral("Acknowledge"), this);
    acknowledge->setObjectName(QStringLiteral("btn_acknowledge"));
    auto *acknowledgeAll = new QPushButton(QStringLiteral("Acknowledge all"), this);
    acknowledgeAll->setObjectName(QStringLiteral("btn_acknowledge_all"));
    paging->addWidget(acknowledge);
    paging->addWidget(acknowledgeAll);
    layout->addLayout(paging);

    auto *options = new QHBoxLayout;
    m_pCommunicationLossAlarm = new QCheckBox(QStringLiteral("Communication-loss alarm"), this);
    m_pCommunicationLossAlarm->setObjectName(QStringLiteral("check_communication_loss"));
    m_pCommunicationLossAlarm->setToolTip(
        QStringLiteral("Sound the alarm when a logger stops answering"));
    m_pCommunicationLossAlarm->setChecked(ProjectFile::communicationLossAlarm(m_strProjectFile));
    options->addWidget(m_pCommunicationLossAlarm);
    options->addStretch();
    m_pFrom = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-7), this);
    m_pTo = new QDateTimeEdit(QDateTime::currentDateTime().addDays(1), this);
    for (QDateTimeEdit *edit : {m_pFrom, m_pTo}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setCalendarPopup(true);
    }
    auto *exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    options->addWidget(new QLabel(QStringLiteral("From"), this));
    options->addWidget(m_pFrom);
    options->addWidget(new QLabel(QStringLiteral("to"), this));
    options->addWidget(m_pTo);
    options->addWidget(exportButton);
    layout->addLayout(options);
    resize(900, 520);

    connect(m_pLogger, &QComboBox::currentIndexChanged, this, &EventsView::refresh);
    connect(m_pKind, &QComboBox::currentIndexChanged, this, &EventsView::refresh);
    connect(m_pUnacknowledged, &QCheckBox::toggled, this, &EventsView::refresh);
    connect(refreshButton, &QPushButton::clicked, this, &EventsView::refresh);
    connect(m_pNewer, &QPushButton::clicked, this, [this] { showPage(m_nPage - 1); });
    connect(m_pOlder, &QPushButton::clicked, this, [this] { showPage(m_nPage + 1); });
    connect(m_pOperator, &QLineEdit::textEdited, this,
            [](const QString &text) { rememberedOperator() = text; });
    connect(acknowledge, &QPushButton::clicked, this, &EventsView::acknowledgeSelected);
    connect(acknowledgeAll, &QPushButton::clicked, this, &EventsView::acknowledgeAll);
    connect(m_pCommunicationLossAlarm, &QCheckBox::toggled, this, [this](bool on) {
        if (!ProjectFile::setCommunicationLossAlarm(m_strProjectFile, on))
            showTimedMessage(this, QStringLiteral("ERROR"),
                             QStringLiteral("Unable to save the project file.\nPlease retry."));
        emit communicationLossAlarmChanged(on);
    });
    connect(exportButton, &QPushButton::clicked, this, &EventsView::exportClicked);
}

QString EventsView::loggerName(const QString &serial) const
{
    return m_names.value(serial, serial);
}

QString EventsView::operatorName() const
{
    return m_pOperator->text().trimmed();
}

void EventsView::setOperatorName(const QString &name)
{
    m_pOperator->setText(name);
    rememberedOperator() = name;
}

EventFilter EventsView::currentFilter() const
{
    EventFilter filter;
    filter.serialNo = m_pLogger->currentData().toString();
    filter.kind = m_pKind->currentData().toString();
    filter.unacknowledgedOnly = m_pUnacknowledged->isChecked();
    return filter;
}

void EventsView::refresh()
{
    showPage(m_nPage);
}

void EventsView::showPage(int page)
{
    if (m_pServer) {
        m_nRequestedPage = std::max(0, page);
        m_nPageRequest =
            m_pServer->requestPage(currentFilter(), PAGE_SIZE, m_nRequestedPage * PAGE_SIZE);
        m_pPageLabel->setText(QStringLiteral("Reading the events from ") +
                              m_pServer->displayName() + QStringLiteral("..."));
        return;
    }
    const QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
    const EventFilter filter = currentFilter();
    m_nTotal = m_bOpen ? EventTable::count(db, filter) : 0;
    const int pages = std::max(1, (m_nTotal + PAGE_SIZE - 1) / PAGE_SIZE);
    m_nPage = std::clamp(page, 0, pages - 1);
    m_records = m_bOpen ? EventTable::read(db, filter, PAGE_SIZE, m_nPage * PAGE_SIZE)
                        : QList<EventRecord>();
    m_pNewer->setEnabled(m_nPage > 0);
    m_pOlder->setEnabled(m_nPage + 1 < pages);
    m_pPageLabel->setText(
        QStringLiteral("Page %1 of %2 (%3 events)").arg(m_nPage + 1).arg(pages).arg(m_nTotal));
    fillTable();
}

void EventsView::onPageRead(quint64 request, bool ok, int total, const QList<EventRecord> &records,
                            const QString &error)
{
    if (request != m_nPageRequest)
        return;
    m_nPageRequest = 0;
    if (!ok) {
        m_nTotal = 0;
        m_records.clear();
        m_pNewer->setEnabled(false);
        m_pOlder->setEnabled(false);
        m_pPageLabel->setText(QStringLiteral("The events of %1 cannot be read: %2")
                                  .arg(m_pServer->displayName(), error));
        fillTable();
        return;
    }
    const int pages = std::max(1, (total + PAGE_SIZE - 1) / PAGE_SIZE);
    // The log shrank under the filter since the page was asked for: its last page instead.
    if (m_nRequestedPage >= pages && total > 0) {
        showPage(pages - 1);
        return;
    }
    m_nTotal = total;
    m_nPage = std::min(m_nRequestedPage, pages - 1);
    m_records = records;
    m_pNewer->setEnabled(m_nPage > 0);
    m_pOlder->setEnabled(m_nPage + 1 < pages);
    m_pPageLabel->setText(
        QStringLiteral("Page %1 of %2 (%3 events)").arg(m_nPage + 1).arg(pages).arg(m_nTotal));
    fillTable();
}

void EventsView::onAcknowledged(quint64 request, int count)
{
    if (request != m_nAckRequest)
        return;
    m_nAckRequest = 0;
    if (count > 0)
        emit acknowledged();
    refresh();
}

void EventsView::fillTable()
{
    m_pTable->setRowCount(int(m_records.size()));
    for (int i = 0; i < m_records.size(); ++i) {
        const EventRecord &record = m_records.at(i);
        const EventRow &row = record.row;
        QString limits;
        if (row.lowerLimit != NO_VALUE || row.upperLimit != NO_VALUE)
            limits =
                numberText(row.lowerLimit) + QStringLiteral(" .. ") + numberText(row.upperLimit);
        if (!row.text.isEmpty() && row.kind == EventKind::limitsChanged)
            limits = row.text;
        QString acknowledged;
        if (record.ackDate > 0)
            acknowledged = QDateTime::fromSecsSinceEpoch(record.ackDate)
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                           QStringLiteral(" by ") + record.ackBy;
        else if (EventTable::alarmKinds().contains(row.kind))
            acknowledged = QStringLiteral("No");
        const QStringList cells = {QDateTime::fromSecsSinceEpoch(row.pointDate)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   row.serialNo.isEmpty() ? QString() : loggerName(row.serialNo),
                                   row.channel > 0 ? QStringLiteral("CH%1").arg(row.channel)
                                                   : QString(),
                                   kindCaption(row.kind),
                                   numberText(row.value),
                                   limits,
                                   acknowledged};
        for (int column = 0; column < cells.size(); ++column)
            m_pTable->setItem(i, column, new QTableWidgetItem(cells.at(column)));
    }
    m_pTable->resizeColumnsToContents();
}

void EventsView::acknowledgeSelected()
{
    const int row = m_pTable->currentRow();
    if (row < 0 || row >= m_records.size())
        return;
    if (m_pServer) {
        m_nAckRequest = m_pServer->requestAcknowledge(m_records.at(row).id, operatorName(),
                                                      QDateTime::currentSecsSinceEpoch());
        return;
    }
    const QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
    if (EventTable::acknowledge(db, m_records.at(row).id, operatorName(),
                                QDateTime::currentSecsSinceEpoch()) > 0)
        emit acknowledged();
    refresh();
}

void EventsView::acknowledgeAll()
{
    if (m_pServer) {
        m_nAckRequest =
            m_pServer->requestAcknowledge(0, operatorName(), QDateTime::currentSecsSinceEpoch());
        return;
    }
    const QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
    if (EventTable::acknowledge(db, 0, operatorName(), QDateTime::currentSecsSinceEpoch()) > 0)
        emit acknowledged();
    refresh();
}

bool EventsView::exportCsv(const QString &path, qint64 from, qint64 to)
{
    if (m_pServer) {
        showTimedMessage(this, QStringLiteral("INFORMATION"),
                         QStringLiteral("The events of this project are in the table "
                                        "kestrelix_event of %1.\nExport them with the "
                                        "server's tools.")
                             .arg(m_pServer->displayName()));
        return false;
    }
    QSaveFile file(path);
    EventFilter filter;
    filter.from = from;
    filter.to = to;
    bool ok = m_bOpen && file.open(QIODevice::WriteOnly);
    if (ok) {
        EventCsvWriter writer(&file, m_names);
        ok = writer.writeAll(QSqlDatabase::database(m_strConnection, false), filter) &&
             file.commit();
    }
    if (!ok)
        showTimedMessage(this, QStringLiteral("ERROR"),
                         QStringLiteral("Unable to write %1.\nPlease retry.")
                             .arg(QDir::toNativeSeparators(path)));
    return ok;
}

void EventsView::exportClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export events"),
                                                      QFileInfo(m_strProjectFile).absolutePath() +
                                                          QStringLiteral("/events.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (exportCsv(path, m_pFrom->dateTime().toSecsSinceEpoch(),
                  m_pTo->dateTime().toSecsSinceEpoch()))
        showTimedMessage(this, QStringLiteral("INFORMATION"),
                         QStringLiteral("The events are exported."));
}
