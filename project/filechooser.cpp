#include "project/filechooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
FileChooser::Func &overrideFunc()
{
    static FileChooser::Func func;
    return func;
}

// "*.tpc" -> "tpc": the suffix the save dialog adds itself, so that its overwrite question is
// asked about the file that will really be written.
QString suffixOf(const QString &filter)
{
    const int dot = filter.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : filter.mid(dot + 1).remove(QLatin1Char(')'));
}

// Qt's own dialog, not the desktop's: it follows the program's palette, and it asks before
// replacing an existing file.
QString runDialog(QWidget *parent, const QString &caption, const QString &dir,
                  const QString &filter, bool save)
{
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(suffixOf(filter));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}
} // namespace

void FileChooser::setOverride(Func f)
{
    overrideFunc() = std::move(f);
}

QString FileChooser::startFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

QString FileChooser::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter)
{
    if (overrideFunc())
        return overrideFunc()(parent, caption, dir, filter, true);
    return runDialog(parent, caption, dir, filter, true);
}

QString FileChooser::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter)
{
    if (overrideFunc())
        return overrideFunc()(parent, caption, dir, filter, false);
    return runDialog(parent, caption, dir, filter, false);
}
