#pragma once

#include <QString>

// Starts a sibling program (the data viewer or the report maker) on a project. The program
// is found by name on the search path and gets the project file path as its one argument,
// in the apostrophes its command line has always carried.
class SiblingLauncher
{
public:
    explicit SiblingLauncher(const QString &projectFile);

    // The programs read the project's database: without it there is nothing to show.
    bool databaseExists() const;
    QString argument() const;
    // Starts program detached; false when it could not be started.
    bool start(const QString &program) const;

private:
    QString m_strProjectFile;
};
