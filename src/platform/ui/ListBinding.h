#pragma once

#include <QList>
#include <QStringList>
#include <QVariantList>

#include <optional>

class QTableView;
class QWidget;

namespace tunnel::db {
class KeysetQueryModel;
}

namespace tunnel::ui {

// A list window's grid over a keyset model: reloads, enables the buttons that act on a row
// only while there is a row, and holds the chosen row by its key from the moment it is chosen
// (never by its position, which other programs' writes can change), returning to it after a
// reload wherever it now stands.
class ListBinding {
public:
    struct Selection {
        QVariantList key;          // the values of the key fields
        QVariantList orderValues;  // where the row stood in the model's order
    };

    ListBinding(QTableView& grid, db::KeysetQueryModel& model, QStringList keyFields,
                QList<QWidget*> rowButtons);

    // Reads the list afresh on its first row. Throws DbError (the row buttons stay off).
    void reload();
    // Reads the list afresh on the selected row, or, when it is gone, on the row that now
    // stands where it stood; returns whether it is still there. Throws DbError.
    bool reloadOn(const Selection& selection);
    // The same after an action that began on `atStart` (the row chosen then, if any): when the
    // user has since chosen another row (a click that came in while the action's window was
    // closing), the list is read afresh on that row instead, so that the next action acts on
    // the device the user chose, never on the one the action would have shown.
    bool reloadAfterAction(const Selection& target, const std::optional<Selection>& atStart);
    // Reads the list afresh after its order changed, on the selected row found by its key (its
    // old place means nothing in the new order), or on the first row. Nothing before the list
    // was first read. Throws DbError.
    void reloadInNewOrder();
    // The row the user chose, if any.
    std::optional<Selection> selected() const;

private:
    void setRowButtons();
    void select(int row);

    QTableView& grid_;
    db::KeysetQueryModel& model_;
    QStringList keyFields_;
    QList<QWidget*> rowButtons_;
};

}  // namespace tunnel::ui
