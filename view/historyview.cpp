#include "view/historyview.h"

#include "store/historycsvwriter.h"
#include "store/historydatabase.h"
#include "store/historyscan.h"
#include "store/historysummary.h"
#include "view/historychart.h"
#include "view/historyreport.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// About 50 ms of folding per step.
constexpr int FOLD_ROWS_PER_STEP = 25000;
const char ACTIVATION_KEY[] = "History/activationEnergy";

qint64 presetSeconds(int preset)
{
    switch (preset) {
    case HistoryView::LastHour:
        return 3600;
    case HistoryView::LastDay:
        return 24 * 3600;
    case HistoryView::LastWeek:
        return 7 * 24 * 3600;
    case HistoryView::LastMonth:
        return 30 * 24 * 3600;
    default:
        return 0;
    }
}

} // namespace

HistoryView::HistoryView(const QString &projectFile, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("historyView"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    if (!m_project.load(projectFile)) {
        showMessage(QStringLiteral("Cannot read the project file ") + projectFile);
        return;
    }
    setWindowTitle(QStringLiteral("History - ") + m_project.projectName);
    m_bUpdatingList = true;
    for (const HistoryLogger &l : m_project.loggers) {
        auto *item =
            new QListWidgetItem(l.label.name + QStringLiteral("\n") + l.serial, m_pLoggers);
        item->setData(Qt::UserRole, l.serial);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(m_pLoggers->count() <= MAX_LOGGERS ? Qt::Checked : Qt::Unchecked);
    }
    m_bUpdatingList = false;

    m_pDatabase = std::make_unique<HistoryDatabase>(m_project.databasePath);
    if (!m_pDatabase->open()) {
        showMessage(QStringLiteral("Nothing recorded yet (") + m_pDatabase->lastError() +
                    QLatin1Char(')'));
        m_pDatabase.reset();
        return;
    }
    m_pSummary = std::make_unique<HistorySummary>(
        m_pDatabase.get(), HistorySummary::defaultCachePath(m_project.databasePath));
    if (!m_pSummary->open())
        m_pSummary.reset();
    m_pFold = new QTimer(this);
    connect(m_pFold, &QTimer::timeout, this, [this] {
        const bool done =
            !m_pSummary || m_pSummary->catchUp(FOLD_ROWS_PER_STEP) || !m_pSummary->isOpen();
        m_pProgress->setValue(m_pSummary ? int(m_pSummary->progress() * 100) : 100);
        if (done) {
            m_pFold->stop();
            m_pWork->clear();
            m_pProgress->hide();
            redraw();
        }
    });
    if (m_pSummary) {
        m_pWork->setText(QStringLiteral("Preparing the overview..."));
        m_pProgress->show();
        m_pFold->start(0);
    }
    applyPreset();
}

HistoryView::~HistoryView()
{
    delete m_pScan;
}

void HistoryView::buildUi()
{
    resize(1200, 820);
    setStyleSheet(QStringLiteral("QWidget#historyView { background-color: rgb(48,48,48); } "
                                 "QLabel { color: rgb(230,230,230); }"));
    auto *top = new QHBoxLayout;
    m_pPreset = new QComboBox(this);
    m_pPreset->setObjectName(QStringLiteral("comboPreset"));
    m_pPreset->addItems({QStringLiteral("Last hour"), QStringLiteral("Last 24 hours"),
                         QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"),
                         QStringLiteral("Whole recorded range"), QStringLiteral("From / to")});
    m_pPreset->setCurrentIndex(LastDay);
    m_pFromEdit = new QDateTimeEdit(this);
    m_pToEdit = new QDateTimeEdit(this);
    for (QDateTimeEdit *edit : {m_pFromEdit, m_pToEdit}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        edit->setCalendarPopup(true);
    }
    auto *show = new QPushButton(QStringLiteral("Show"), this);
    show->setObjectName(QStringLiteral("buttonShow"));
    m_pActivation = new QDoubleSpinBox(this);
    m_pActivation->setRange(1, 1000);
    m_pActivation->setDecimals(3);
    m_pActivation->setSuffix(QStringLiteral(" kJ/mol"));
    m_pActivation->setToolTip(QStringLiteral("Activation energy of the mean kinetic temperature"));
    m_pActivation->setValue(
        QSettings()
            .value(QLatin1String(ACTIVATION_KEY), HistoryStatistics::DEFAULT_ACTIVATION_ENERGY)
            .toDouble());
    auto *csv = new QPushButton(QStringLiteral("Export CSV..."), this);
    csv->setObjectName(QStringLiteral("buttonCsv"));
    auto *pdf = new QPushButton(QStringLiteral("PDF report..."), this);
    pdf->setObjectName(QStringLiteral("buttonPdf"));
    auto *fromLabel = new QLabel(QStringLiteral("From"), this);
    auto *toLabel = new QLabel(QStringLiteral("to"), this);
    auto *mktLabel = new QLabel(QStringLiteral("MKT activation energy"), this);
    for (QWidget *w : std::initializer_list<QWidget *>{m_pPreset, fromLabel, m_pFromEdit, toLabel,
                                                       m_pToEdit, show, mktLabel, m_pActivation})
        top->addWidget(w);
    top->addStretch();
    top->addWidget(csv);
    top->addWidget(pdf);

    m_pLoggers = new QListWidget(this);
    m_pLoggers->setObjectName(QStringLiteral("listLoggers"));
    m_pLoggers->setMaximumWidth(220);
    auto *charts = new QVBoxLayout;
    for (int ch = 0; ch < 2; ++ch) {
        m_pCharts[ch] = new HistoryChart(ch, this);
        m_pCharts[ch]->setObjectName(QStringLiteral("historyChart%1").arg(ch + 1));
        m_pCharts[ch]->setTitle(QStringLiteral("Channel %1").arg(ch + 1));
        charts->addWidget(m_pCharts[ch], 1);
        connect(m_pCharts[ch], &HistoryChart::rangeRequested, this, &HistoryView::onChartRange);
    }
    m_pTable = new QTableWidget(0, int(statisticsHeader().size()), this);
    m_pTable->setObjectName(QStringLiteral("tableStatistics"));
    m_pTable->setHorizontalHeaderLabels(statisticsHeader());
    m_pTable->verticalHeader()->hide();
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pTable->setMaximumHeight(180);
    charts->addWidget(m_pTable);
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_pLoggers);
    middle->addLayout(charts, 1);

    auto *bottom = new QHBoxLayout;
    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("labelMessage"));
    m_pWork = new QLabel(this);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setMaximumWidth(240);
    m_pProgress->hide();
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName(QStringLiteral("buttonCancel"));
    m_pCancel->hide();
    bottom->addWidget(m_pMessage, 1);
    bottom->addWidget(m_pWork);
    bottom->addWidget(m_pProgress);
    bottom->addWidget(m_pCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(m_pPreset, qOverload<int>(&QComboBox::activated), this, [this] { applyPreset(); });
    connect(show, &QPushButton::clicked, this, [this] {
        m_pPreset->setCurrentIndex(Custom);
        applyPreset();
    });
    connect(m_pLoggers, &QListWidget::itemChanged, this, &HistoryView::onItemChanged);
    connect(m_pActivation, &QDoubleSpinBox::editingFinished, this, [this] {
        QSettings().setValue(QLatin1String(ACTIVATION_KEY), m_pActivation->value());
        startStatistics();
    });
    connect(m_pCancel, &QPushButton::clicked, this, &HistoryView::cancelScan);
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export CSV"), m_project.projectName + QStringLiteral(".csv"),
            QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    connect(pdf, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("PDF report"), m_project.projectName + QStringLiteral(".pdf"),
            QStringLiteral("PDF files (*.pdf)"));
        if (!path.isEmpty())
            exportPdf(path);
    });
}

void HistoryView::showMessage(const QString &text)
{
    m_pMessage->setText(text);
}

QString HistoryView::message() const
{
    return m_pMessage->text();
}

bool HistoryView::isBusy() const
{
    return (m_pScan && m_pScan->isRunning()) || (m_pFold && m_pFold->isActive());
}

QStringList HistoryView::selectedLoggers() const
{
    QStringList serials;
    for (int i = 0; i < m_pLoggers->count(); ++i) {
        if (m_pLoggers->item(i)->checkState() == Qt::Checked)
            serials.append(m_pLoggers->item(i)->data(Qt::UserRole).toString());
    }
    return serials;
}

void HistoryView::selectLoggers(const QStringList &serials)
{
    m_bUpdatingList = true;
    for (int i = 0; i < m_pLoggers->count(); ++i) {
        QListWidgetItem *item = m_pLoggers->item(i);
        item->setCheckState(serials.contains(item->data(Qt::UserRole).toString()) ? Qt::Checked
                                                                                  : Qt::Unchecked);
    }
    m_bUpdatingList = false;
    redraw();
}

void HistoryView::onItemChanged(QListWidgetItem *item)
{
    if (m_bUpdatingList)
        return;
    if (item->checkState() == Qt::Checked && selectedLoggers().size() > MAX_LOGGERS) {
        m_bUpdatingList = true;
        item->setCheckState(Qt::Unchecked);
        m_bUpdatingList = false;
        showMessage(QStringLiteral("At most %1 loggers at a time.").arg(MAX_LOGGERS));
        return;
    }
    redraw();
}

void HistoryView::setPreset(Preset preset)
{
    m_pPreset->setCurrentIndex(preset);
    applyPreset();
}

void HistoryView::setRange(qint64 from, qint64 to)
{
    m_pFromEdit->setDateTime(QDateTime::fromSecsSinceEpoch(from));
    m_pToEdit->setDateTime(QDateTime::fromSecsSinceEpoch(to));
    setPreset(Custom);
}

void HistoryView::applyPreset()
{
    const int preset = m_pPreset->currentIndex();
    if (preset == Custom) {
        m_nFrom = m_pFromEdit->dateTime().toSecsSinceEpoch();
        m_nTo = m_pToEdit->dateTime().toSecsSinceEpoch();
    } else if (preset == WholeRange) {
        qint64 from = 0;
        qint64 to = 0;
        if (m_pDatabase && m_pDatabase->recordedRange(selectedLoggers(), &from, &to)) {
            m_nFrom = from;
            m_nTo = to;
        }
    } else {
        m_nTo = QDateTime::currentSecsSinceEpoch();
        m_nFrom = m_nTo - presetSeconds(preset);
    }
    if (m_nTo <= m_nFrom)
        m_nTo = m_nFrom + 60;
    m_pFromEdit->setDateTime(QDateTime::fromSecsSinceEpoch(m_nFrom));
    m_pToEdit->setDateTime(QDateTime::fromSecsSinceEpoch(m_nTo));
    redraw();
}

void HistoryView::onChartRange(qint64 from, qint64 to)
{
    m_nFrom = from;
    m_nTo = to;
    m_pPreset->setCurrentIndex(Custom);
    m_pFromEdit->setDateTime(QDateTime::fromSecsSinceEpoch(m_nFrom));
    m_pToEdit->setDateTime(QDateTime::fromSecsSinceEpoch(m_nTo));
    redraw();
}

void HistoryView::redraw()
{
    if (!m_pDatabase)
        return;
    drawCharts();
    startStatistics();
}

void HistoryView::drawCharts()
{
    for (HistoryChart *chart : m_pCharts)
        chart->setTimeRange(m_nFrom, m_nTo);
    const QStringList serials = selectedLoggers();
    if (m_pFold && m_pFold->isActive())
        return;
    if (m_pSummary)
        m_pSummary->catchUp(FOLD_ROWS_PER_STEP);
    HistoryQuery query(m_pDatabase.get(), m_pSummary.get());
    QVector<HistorySeries> series[2];
    bool any = false;
    for (int i = 0; i < serials.size(); ++i) {
        const HistoryLogger *l = m_project.logger(serials[i]);
        const QVector<HistoryBucket> buckets =
            query.buckets(serials[i], m_nFrom, m_nTo, m_pCharts[0]->plotColumns());
        any = any || !buckets.isEmpty();
        for (int ch = 0; ch < 2; ++ch) {
            HistorySeries s;
            s.name = l ? l->label.name : serials[i];
            s.unit = l ? l->label.unit[ch] : QString();
            s.color = HistoryChart::seriesColor(i);
            s.buckets = buckets;
            series[ch].append(s);
        }
    }
    const QString empty = serials.isEmpty() ? QStringLiteral("Choose loggers on the left.")
                          : any             ? QString()
                                            : QStringLiteral("No data in this range.");
    for (int ch = 0; ch < 2; ++ch) {
        m_pCharts[ch]->setMessage(empty);
        m_pCharts[ch]->setSeries(series[ch], m_project.intervalSeconds);
    }
    showMessage(empty);
    emit chartsDrawn();
}

void HistoryView::runScan(HistoryScan *scan, const QString &what)
{
    cancelScan();
    m_pScan = scan;
    m_pWork->setText(what);
    m_pProgress->setValue(0);
    m_pProgress->show();
    m_pCancel->show();
    connect(scan, &HistoryScan::progress, m_pProgress, &QProgressBar::setValue);
    connect(scan, &HistoryScan::finished, this, [this] {
        m_pProgress->hide();
        m_pCancel->hide();
        m_pWork->clear();
    });
    scan->start();
}

void HistoryView::cancelScan()
{
    if (m_pScan) {
        HistoryScan *scan = m_pScan;
        m_pScan = nullptr;
        scan->cancel();
        scan->deleteLater();
    }
}

void HistoryView::startStatistics()
{
    m_bStatisticsValid = false;
    m_pTable->setRowCount(0);
    const QStringList serials = selectedLoggers();
    m_statistics.reset(m_project, serials, m_pActivation->value());
    if (!m_pDatabase || serials.isEmpty())
        return;
    auto *scan = new HistoryScan(
        m_pDatabase.get(), serials, m_nFrom, m_nTo,
        [this](const QVector<HistoryRow> &rows) { return m_statistics.consume(rows); }, this);
    connect(scan, &HistoryScan::finished, this, [this, scan](bool ok) {
        if (scan != m_pScan)
            return;
        m_pScan = nullptr;
        scan->deleteLater();
        if (ok) {
            m_bStatisticsValid = true;
            fillStatistics();
            emit statisticsReady();
        }
    });
    runScan(scan, QStringLiteral("Statistics..."));
}

void HistoryView::fillStatistics()
{
    m_pTable->setRowCount(0);
    for (const QString &serial : selectedLoggers()) {
        const HistoryLogger *l = m_project.logger(serial);
        const HistoryStatistics *s = m_statistics.of(serial);
        if (!l || !s)
            continue;
        for (int ch = 0; ch < 2; ++ch) {
            const QStringList cells = statisticsCells(*l, ch, s->channel(ch));
            const int row = m_pTable->rowCount();
            m_pTable->insertRow(row);
            for (int c = 0; c < cells.size(); ++c)
                m_pTable->setItem(row, c, new QTableWidgetItem(cells[c]));
        }
    }
}

bool HistoryView::exportCsv(const QString &path)
{
    if (!m_pDatabase)
        return false;
    auto file = std::make_shared<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        showMessage(QStringLiteral("Cannot write ") + path);
        return false;
    }
    auto writer = std::make_shared<HistoryCsvWriter>(file.get(), m_project.labels());
    writer->writeHeader();
    auto *scan = new HistoryScan(
        m_pDatabase.get(), selectedLoggers(), m_nFrom, m_nTo,
        [writer](const QVector<HistoryRow> &rows) {
            for (const HistoryRow &row : rows) {
                if (!writer->writeRow(row))
                    return false;
            }
            return true;
        },
        this);
    connect(scan, &HistoryScan::finished, this, [this, scan, file, path](bool ok) {
        if (scan == m_pScan)
            m_pScan = nullptr;
        scan->deleteLater();
        ok = ok && file->commit();
        if (!ok)
            file->cancelWriting();
        showMessage(ok ? QStringLiteral("Exported to ") + path
                       : QStringLiteral("Export not written: ") + scan->error());
        emit exportFinished(ok);
        // Statistics were stopped for the export.
        if (!m_bStatisticsValid)
            startStatistics();
    });
    runScan(scan, QStringLiteral("Exporting CSV..."));
    return true;
}

bool HistoryView::exportPdf(const QString &path)
{
    if (!m_pDatabase)
        return false;
    const auto write = [this, path] {
        HistoryReportInput input;
        input.project = &m_project;
        input.database = m_pDatabase.get();
        input.summary = m_pSummary.get();
        input.statistics = &m_statistics;
        input.serials = selectedLoggers();
        input.from = m_nFrom;
        input.to = m_nTo;
        QString error;
        const bool ok = writeHistoryReport(path, input, &error);
        showMessage(ok ? QStringLiteral("Report written to ") + path : error);
        emit exportFinished(ok);
    };
    if (m_bStatisticsValid) {
        write();
        return true;
    }
    // The report needs the statistics of the range first.
    connect(this, &HistoryView::statisticsReady, this, write, Qt::SingleShotConnection);
    if (!m_pScan)
        startStatistics();
    return true;
}
