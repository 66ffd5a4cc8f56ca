#pragma once

#include <QTableView>

namespace tunnel::ui {

// A grid over an editable dataset, in two modes: browse (whole rows selected, nothing edited)
// and edit (cells edited, the cell editor always open on the current cell). Return confirms
// the row, Escape cancels it, and leaving the grid (for a button, say) is announced, so the
// window can post or drop the pending row as a data grid does.
class EditGrid : public QTableView {
    Q_OBJECT
public:
    explicit EditGrid(QWidget* parent = nullptr);

    void setEditMode(bool editing);
    bool isEditMode() const { return editing_; }
    // Opens the cell editor on the current cell (edit mode only).
    void editCurrentCell();

signals:
    void confirmRequested();
    void cancelRequested();
    void leftGrid();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void focusMoved(QWidget* old, QWidget* now);

    bool editing_ = false;
};

}  // namespace tunnel::ui
