#pragma once

#include <QObject>
#include <QString>

// The named child a form promises; a missing one is a broken test, so it stops the run at once
// instead of crashing later on a null pointer.
template <typename T> T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}
