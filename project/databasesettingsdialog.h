#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Where the project records: its SQLite file (address left empty) or a central PostgreSQL
// database. "Test connection" tries the address off the GUI thread and says what happened;
// OK writes the address into the project file (key "databaseUrl").
class DatabaseSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DatabaseSettingsDialog(const QString &projectFile, QWidget *parent = nullptr);

    QString url() const;
    QString resultText() const;

signals:
    void testFinished(bool ok, const QString &message);

public slots:
    void slotTestConnection();
    void accept() override;

private:
    void showResult(bool ok, const QString &message);

    QString m_strProjectFile;
    QLineEdit *m_pUrl = nullptr;
    QLabel *m_pResult = nullptr;
    QPushButton *m_pTest = nullptr;
};
