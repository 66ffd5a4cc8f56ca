#pragma once

#include "platform/db/KeysetQueryModel.h"

#include <QString>

#include <functional>

class QIODevice;
class QTableView;
class QWidget;

namespace tunnel::ui {

// Adds to a result grid's context menu "统计条数(&N)" (counts the whole current result, a batch
// at a time while the window stays usable, then says "共 N 条") and "导出CSV(&E)..." (writes the
// whole result as the grid shows it, CSV as text::csvLine writes it with a title row; a cancelled
// or failed export leaves no file). Both show a progress dialog with Cancel once they take more
// than a moment, and neither keeps more than a batch of rows in memory. The file suggested is
// named after `csvCaption`, or the window's title.
void addResultActions(QTableView& grid, db::KeysetQueryModel& model,
                      const QString& csvCaption = {});

// One step of an export: the next batch of the walk, each row a CSV line of the grid's texts.
void writeCsvRows(db::KeysetQueryModel& model, db::KeysetQueryModel::WalkPosition& position,
                  QIODevice& out);

// Asks where to save a CSV file, offering `suggested` ("CAPTION-yyyyMMdd.csv"). Tests put an
// answer in place; an empty text means cancelled.
using SaveFileChooser =
    std::function<QString(QWidget* owner, const QString& caption, const QString& suggested)>;
SaveFileChooser setSaveFileChooser(SaveFileChooser chooser);
// Asks where to save a CSV file offering `suggested`; ".csv" is added to a name without a
// suffix. Empty when cancelled.
QString chooseCsvToSave(QWidget* owner, const QString& suggested);
// The same for another kind of file: `suffix` (".png") added to a name without one; the
// chooser tests put in place answers it too.
QString chooseFileToSave(QWidget* owner, const QString& caption, const QString& suggested,
                         const QString& filter, const QString& suffix);

// Asks for an existing file to read. Tests put an answer in place; empty means cancelled.
using OpenFileChooser = std::function<QString(QWidget* owner, const QString& caption)>;
OpenFileChooser setOpenFileChooser(OpenFileChooser chooser);
QString chooseCsvToOpen(QWidget* owner, const QString& caption);

}  // namespace tunnel::ui
