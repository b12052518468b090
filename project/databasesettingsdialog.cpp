#include "project/databasesettingsdialog.h"

#include "project/projectfile.h"
#include "store/pgconnectionsettings.h"
#include "store/pgstore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

DatabaseSettingsDialog::DatabaseSettingsDialog(const QString &projectFile, QWidget *parent)
    : QDialog(parent), m_strProjectFile(projectFile)
{
    setWindowTitle(QStringLiteral("Database"));
    auto *layout = new QVBoxLayout(this);
    auto *guide = new QLabel(
        QStringLiteral("Leave empty to record into the project's own database file, or give a "
                       "PostgreSQL database:\npostgresql://user@host:port/dbname?sslmode=require\n"
                       "The password is read from ~/.pgpass (or the file PGPASSFILE names), "
                       "never stored here."),
        this);
    guide->setWordWrap(true);
    layout->addWidget(guide);
    m_pUrl = new QLineEdit(ProjectFile::databaseUrl(projectFile), this);
    m_pUrl->setObjectName(QStringLiteral("lineEdit_databaseUrl"));
    m_pUrl->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/dbname"));
    layout->addWidget(m_pUrl);
    m_pTest = new QPushButton(QStringLiteral("Test connection"), this);
    m_pTest->setObjectName(QStringLiteral("btn_testConnection"));
    layout->addWidget(m_pTest, 0, Qt::AlignLeft);
    m_pResult = new QLabel(this);
    m_pResult->setObjectName(QStringLiteral("label_testResult"));
    m_pResult->setWordWrap(true);
    m_pResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pResult);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    resize(560, sizeHint().height());

    connect(m_pTest, &QPushButton::clicked, this, &DatabaseSettingsDialog::slotTestConnection);
    connect(buttons, &QDialogButtonBox::accepted, this, &DatabaseSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DatabaseSettingsDialog::reject);
    connect(this, &DatabaseSettingsDialog::testFinished, this, &DatabaseSettingsDialog::showResult);
}

QString DatabaseSettingsDialog::url() const
{
    return m_pUrl->text().trimmed();
}

QString DatabaseSettingsDialog::resultText() const
{
    return m_pResult->text();
}

void DatabaseSettingsDialog::showResult(bool ok, const QString &message)
{
    m_pTest->setEnabled(true);
    m_pResult->setStyleSheet(ok ? QStringLiteral("color: rgb(0, 128, 0);")
                                : QStringLiteral("color: rgb(200, 0, 0);"));
    m_pResult->setText(message);
}

void DatabaseSettingsDialog::slotTestConnection()
{
    const QString address = url();
    if (address.isEmpty()) {
        showResult(true, QStringLiteral("The project records into its own database file."));
        return;
    }
    m_pTest->setEnabled(false);
    m_pResult->setStyleSheet(QString());
    m_pResult->setText(QStringLiteral("Connecting..."));
    // Connecting may take the whole connect time-out: never on the GUI thread.
    auto result = std::make_shared<std::pair<bool, QString>>();
    QThread *worker = QThread::create(
        [address, result] { result->first = PgStore::testConnection(address, &result->second); });
    connect(worker, &QThread::finished, this, [this, worker, result] {
        worker->deleteLater();
        emit testFinished(result->first, result->second);
    });
    connect(this, &QObject::destroyed, worker, [worker] { worker->wait(); });
    worker->start();
}

void DatabaseSettingsDialog::accept()
{
    const QString address = url();
    PgConnectionSettings settings;
    if (!address.isEmpty() && !settings.parse(address)) {
        showResult(false, settings.error());
        return;
    }
    if (!ProjectFile::writeDatabaseUrl(m_strProjectFile, address)) {
        showResult(false, QStringLiteral("Unable to save the project file.\nPlease retry."));
        return;
    }
    QDialog::accept();
}
