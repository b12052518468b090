#pragma once

#include <QHash>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class QListWidgetItem;

namespace Ui {
class ProjectMain;
}

// The panel shown while no project is open: create a project file, open one, or pick a
// recent project. It only checks the chosen file and hands its path on.
class ProjectMain : public QWidget
{
    Q_OBJECT

public:
    ProjectMain(QStringList *recentKeys, QHash<QString, QVariant> *recentPaths,
                QWidget *parent = nullptr);
    ~ProjectMain() override;

    void showTimedMessage(const QString &title, const QString &text);

signals:
    void projectCreated(const QString &path);
    void projectLoaded(const QString &path);

public slots:
    void slotCreateProject();
    void slotOpenProject();
    void slotRecentProject(QListWidgetItem *item);

private:
    void fillRecentList(const QStringList &keys, const QHash<QString, QVariant> &paths);
    bool checkFileNameLength(const QString &path);

    Ui::ProjectMain *ui;
    QHash<QListWidgetItem *, QVariant> m_itemMap;
};
