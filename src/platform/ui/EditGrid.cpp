#include "platform/ui/EditGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>

namespace tunnel::ui {

EditGrid::EditGrid(QWidget* parent) : QTableView(parent) {
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsMovable(false);
    setTabKeyNavigation(true);
    setEditMode(false);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { focusMoved(old, now); });
}

void EditGrid::setEditMode(bool editing) {
    editing_ = editing;
    setSelectionBehavior(editing ? SelectItems : SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(editing ? AllEditTriggers : NoEditTriggers);
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
        edit(cell);
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

void EditGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    // The delegate takes Return and Escape while the editor is open.
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
        emit confirmRequested();
    } else if (hint == QAbstractItemDelegate::RevertModelCache) {
        emit cancelRequested();
    }
}

void EditGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (editing_ && current.isValid() && (model()->flags(current) & Qt::ItemIsEditable)) {
        edit(current);
    }
}

void EditGrid::focusMoved(QWidget* old, QWidget* now) {
    const auto inside = [this](QWidget* w) { return w == this || isAncestorOf(w); };
    if (old != nullptr && inside(old) && !(now != nullptr && inside(now))) {
        emit leftGrid();
    }
}

}  // namespace tunnel::ui
