#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tunnel::ui {

enum class FileChoice { Save, Open };

// Asks for a file in the module's own file dialog and returns its path as `finalPath` makes it
// (the name the program will really use); empty when cancelled. The dialog never reads the
// files it lists (icons and types come from names alone: see platform/db/DatabaseFiles.h for
// why), and it refuses, staying open, a path that names a database file of this process.
QString askForFile(QWidget* owner, const QString& caption, const QString& suggested,
                   const QString& filter, FileChoice choice,
                   const std::function<QString(const QString&)>& finalPath);

// Says, in a box over `owner`, that `path` is a database file and cannot be chosen; false when
// it is not one, true when it was refused.
bool refuseDatabaseFile(const QString& path, FileChoice choice, QWidget* owner);

}  // namespace tunnel::ui
