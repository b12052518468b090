#pragma once

#include <QString>

#include <functional>

class QWidget;

// Where the panels get a chosen file path from. Users get Qt's file dialogs in the program's look;
// tests install an override that answers without any dialog.
namespace FileChooser {
using Func = std::function<QString(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter, bool save)>;

// An empty function restores the dialogs.
void setOverride(Func f);
// Where the dialogs start: the documents folder, or the home folder when there is none (a
// folder that does not exist would make the dialog treat its name as the file name).
QString startFolder();
QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                     const QString &filter);
QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                     const QString &filter);
} // namespace FileChooser
