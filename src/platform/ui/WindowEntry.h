#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>

class QTableView;
class QWidget;

namespace tunnel::ui {

// An entry that opens something from a window: `title` in the context menu of `grid` (when
// there is one, and its window does not draw that menu itself) and `keys` anywhere in the
// window run `run`, whose errors go to the default error report.
void addWindowEntry(QWidget& window, QTableView* grid, const QString& title,
                    const QKeySequence& keys, std::function<void()> run);

}  // namespace tunnel::ui
