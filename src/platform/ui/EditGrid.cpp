#include "platform/ui/EditGrid.h"

#include "platform/ui/GridView.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

#include <functional>

namespace tunnel::ui {
namespace {

// Return in a cell editor confirms the row and Escape cancels it; everything else is the
// ordinary cell editing. (The view's own hints cannot tell Return from a change of row.)
class RowKeysDelegate : public QStyledItemDelegate {
public:
    RowKeysDelegate(EditGrid* grid, std::function<void()> confirm, std::function<void()> cancel)
        : QStyledItemDelegate(grid), confirm_(std::move(confirm)), cancel_(std::move(cancel)) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor != nullptr && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit commitData(editor);
                emit closeEditor(editor, NoHint);
                confirm_();
                return true;
            }
            if (key == Qt::Key_Escape) {
                emit closeEditor(editor, NoHint);
                cancel_();
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    std::function<void()> confirm_;
    std::function<void()> cancel_;
};

}  // namespace

EditGrid::EditGrid(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new RowKeysDelegate(
        this, [this] { emit confirmRequested(); }, [this] { emit cancelRequested(); }));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    useCompactRows(*this);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);  // titles stay in the window's plain font
    setTabKeyNavigation(true);
    setEditMode(false);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { focusMoved(old, now); });
}

void EditGrid::setEditMode(bool editing) {
    editing_ = editing;
    setSelectionBehavior(editing ? SelectItems : SelectRows);
    setSelectionMode(SingleSelection);
    // The current cell's editor is opened here (currentChanged), not by the view's trigger,
    // which would try the cells of rows that are not being edited.
    // CurrentChanged stays among the triggers so that a Tab, which closes the editor and moves
    // on, leaves the opening to currentChanged instead of asking for a second editor.
    setEditTriggers(editing ? (CurrentChanged | DoubleClicked | SelectedClicked | EditKeyPressed |
                               AnyKeyPressed)
                            : NoEditTriggers);
}

void EditGrid::editCurrentCell() {
    if (!editing_)
        return;
    QModelIndex cell = currentIndex();
    if (!cell.isValid() && model() != nullptr && model()->rowCount() > 0) {
        cell = model()->index(0, 0);
    }
    if (cell.isValid()) {
        setCurrentIndex(cell);
        edit(cell, AllEditTriggers, nullptr);
    }
}

void EditGrid::keyPressEvent(QKeyEvent* event) {
    if (editing_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit confirmRequested();
        return;
    }
    if (editing_ && event->key() == Qt::Key_Escape) {
        emit cancelRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

void EditGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (editing_ && current.isValid() && state() != EditingState &&
        (model()->flags(current) & Qt::ItemIsEditable)) {
        edit(current, AllEditTriggers, nullptr);
    }
}

void EditGrid::focusMoved(QWidget* old, QWidget* now) {
    const auto inside = [this](QWidget* w) { return w == this || isAncestorOf(w); };
    if (old != nullptr && inside(old) && !(now != nullptr && inside(now))) {
        emit leftGrid();
    }
}

}  // namespace tunnel::ui
