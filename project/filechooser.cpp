#include "project/filechooser.h"

#include <QFileDialog>

namespace {
FileChooser::Func &overrideFunc()
{
    static FileChooser::Func func;
    return func;
}
} // namespace

void FileChooser::setOverride(Func f)
{
    overrideFunc() = std::move(f);
}

QString FileChooser::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter)
{
    if (overrideFunc())
        return overrideFunc()(parent, caption, dir, filter, true);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString FileChooser::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter)
{
    if (overrideFunc())
        return overrideFunc()(parent, caption, dir, filter, false);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}
