#include "project/projectmain.h"
#include "store/logcategories.h"

#include "project/filechooser.h"
#include "project/timedmessage.h"

#include "ui_projectmain.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int MAX_FILE_NAME_LENGTH = 20;
constexpr int MAX_FOLDER_TEXT_LENGTH = 70;
const QString PROJECT_FILTER = QStringLiteral("*.tpc");

// Replacing a database (a project's ".dat" chosen by mistake) would lose its recordings.
bool isDatabaseFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3", 16);
}

// The base name is the file name up to its first ".", as the project file names it.
QString recentEntryText(const QString &key, const QString &path)
{
    const QFileInfo info(path);
    QString folder = info.path();
    if (folder.length() > MAX_FOLDER_TEXT_LENGTH)
        folder = folder.left(MAX_FOLDER_TEXT_LENGTH) + QStringLiteral("...");
    return key + QLatin1Char('\t') + QLatin1Char('[') + folder + QLatin1Char('/') +
           info.baseName() + QStringLiteral(".tpc]");
}
} // namespace

ProjectMain::ProjectMain(QStringList *recentKeys, QHash<QString, QVariant> *recentPaths,
                         QWidget *parent)
    : QWidget(parent), ui(new Ui::ProjectMain)
{
    ui->setupUi(this);
    if (recentKeys)
        fillRecentList(*recentKeys, recentPaths ? *recentPaths : QHash<QString, QVariant>());

    connect(ui->btn_create, &QPushButton::clicked, this, &ProjectMain::slotCreateProject);
    connect(ui->btn_open, &QPushButton::clicked, this, &ProjectMain::slotOpenProject);
    connect(ui->listWidget, &QListWidget::itemActivated, this, &ProjectMain::slotRecentProject);
}

ProjectMain::~ProjectMain()
{
    delete ui;
}

void ProjectMain::showTimedMessage(const QString &title, const QString &text)
{
    ::showTimedMessage(this, title, text);
}

void ProjectMain::fillRecentList(const QStringList &keys, const QHash<QString, QVariant> &paths)
{
    for (const QString &key : keys) {
        const QString path = paths.value(key).toString();
        auto *item = new QListWidgetItem(recentEntryText(key, path), ui->listWidget);
        item->setToolTip(path);
        m_itemMap.insert(item, path);
    }
}

bool ProjectMain::checkFileNameLength(const QString &path)
{
    const QString fileName = QFileInfo(path).fileName();
    if (fileName.length() <= MAX_FILE_NAME_LENGTH)
        return true;
    showTimedMessage(QStringLiteral("ERROR"),
                     QLatin1Char('"') + fileName +
                         QStringLiteral("\" is too long.\nPlease retry.\nMax Length is 20 "
                                        "charactors."));
    return false;
}

void ProjectMain::slotCreateProject()
{
    QString path = FileChooser::saveFileName(this, QStringLiteral("Create Project"),
                                             FileChooser::startFolder(), PROJECT_FILTER);
    if (path.isEmpty())
        return;
    bool suffixAdded = false;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".tpc");
        suffixAdded = true;
    }
    if (!checkFileNameLength(path))
        return;
    const QString fileName = QFileInfo(path).fileName();
    // The dialog asked about the name without the suffix: nobody agreed to replace this file.
    if (suffixAdded && QFileInfo::exists(path)) {
        showTimedMessage(QStringLiteral("WARNING"),
                         QLatin1Char('"') + fileName +
                             QStringLiteral("\" already exists.\nChoose it in the dialog to "
                                            "replace it."));
        return;
    }
    if (isDatabaseFile(path)) {
        showTimedMessage(QStringLiteral("ERROR"),
                         QLatin1Char('"') + fileName +
                             QStringLiteral("\" is a database, not a project file.\nPlease "
                                            "retry."));
        return;
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcProject).noquote()
            << "[ERROR] ProjectMain::slotCreateProject :" << path << file.errorString();
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("Unable to open the project file."));
        return;
    }
    file.close();
    emit projectCreated(path);
}

void ProjectMain::slotOpenProject()
{
    const QString path = FileChooser::openFileName(this, QStringLiteral("Open Project"),
                                                   FileChooser::startFolder(), PROJECT_FILTER);
    if (path.isEmpty())
        return;
    if (!checkFileNameLength(path))
        return;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcProject).noquote()
            << "[ERROR] ProjectMain::slotOpenProject :" << path << file.errorString();
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("Unable to open the project file."));
        return;
    }
    file.close();
    emit projectLoaded(path);
}

void ProjectMain::slotRecentProject(QListWidgetItem *item)
{
    emit projectLoaded(m_itemMap.value(item).toString());
}
