#pragma once

#include "view/historyproject.h"

#include <QWidget>

#include <memory>

class HistoryChart;
class HistoryDatabase;
class HistoryScan;
class HistorySummary;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

// Looking back at a project's recording: up to eight loggers over a chosen range on two
// channel charts, their statistics, and export as CSV or a PDF report. Reads through its own
// read-only connection, so recording may go on meanwhile. Long work (folding the summary,
// statistics, export) runs in short steps with a progress bar and Cancel.
class HistoryView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MAX_LOGGERS = 8;

    explicit HistoryView(const QString &projectFile, QWidget *parent = nullptr);
    ~HistoryView() override;

    enum Preset
    {
        LastHour,
        LastDay,
        LastWeek,
        LastMonth,
        WholeRange,
        Custom
    };
    void setPreset(Preset preset);
    void setRange(qint64 from, qint64 to);
    void selectLoggers(const QStringList &serials);
    QStringList selectedLoggers() const;
    qint64 rangeFrom() const { return m_nFrom; }
    qint64 rangeTo() const { return m_nTo; }
    QString message() const;
    bool isBusy() const;

    bool exportCsv(const QString &path);
    bool exportPdf(const QString &path);

signals:
    // Charts redrawn for the current range and selection.
    void chartsDrawn();
    void statisticsReady();
    void exportFinished(bool ok);

private:
    void buildUi();
    void applyPreset();
    void redraw();
    void drawCharts();
    void startStatistics();
    void fillStatistics();
    void onItemChanged(QListWidgetItem *item);
    void onChartRange(qint64 from, qint64 to);
    void runScan(HistoryScan *scan, const QString &what);
    void cancelScan();
    void showMessage(const QString &text);

    HistoryProject m_project;
    std::unique_ptr<HistoryDatabase> m_pDatabase;
    std::unique_ptr<HistorySummary> m_pSummary;
    HistoryStatisticsSet m_statistics;
    qint64 m_nFrom = 0;
    qint64 m_nTo = 0;
    bool m_bStatisticsValid = false;

    QListWidget *m_pLoggers = nullptr;
    QComboBox *m_pPreset = nullptr;
    QDateTimeEdit *m_pFromEdit = nullptr;
    QDateTimeEdit *m_pToEdit = nullptr;
    QDoubleSpinBox *m_pActivation = nullptr;
    HistoryChart *m_pCharts[2] = {nullptr, nullptr};
    QTableWidget *m_pTable = nullptr;
    QLabel *m_pMessage = nullptr;
    QProgressBar *m_pProgress = nullptr;
    QPushButton *m_pCancel = nullptr;
    QLabel *m_pWork = nullptr;
    QTimer *m_pFold = nullptr;
    HistoryScan *m_pScan = nullptr;
    bool m_bUpdatingList = false;
};
