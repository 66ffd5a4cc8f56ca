#pragma once

#include <QHeaderView>

class QTableView;

namespace tunnel::ui {

// The narrow column at a grid's left that marks its current row with a black triangle.
class RowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit RowIndicator(QTableView& grid);

    // Shows an indicator on the grid once its model is set.
    static void attach(QTableView& grid);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QTableView& grid_;
};

}  // namespace tunnel::ui
