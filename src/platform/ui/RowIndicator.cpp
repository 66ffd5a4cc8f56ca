#include "platform/ui/RowIndicator.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>
#include <QTableView>

namespace tunnel::ui {
namespace {

constexpr int kWidth = 11;  // as the grids were laid out

}  // namespace

RowIndicator::RowIndicator(QTableView& grid) : QHeaderView(Qt::Vertical, &grid), grid_(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
}

void RowIndicator::attach(QTableView& grid) {
    auto* indicator = new RowIndicator(grid);
    const int height = grid.verticalHeader()->defaultSectionSize();
    grid.setVerticalHeader(indicator);
    indicator->setMinimumSectionSize(height);
    indicator->setDefaultSectionSize(height);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setFixedWidth(kWidth);
    indicator->setVisible(true);
    QObject::connect(grid.selectionModel(), &QItemSelectionModel::currentRowChanged, indicator,
                     [indicator] { indicator->viewport()->update(); });
}

void RowIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    if (logicalIndex != grid_.currentIndex().row()) {
        return;
    }
    const QPoint centre = rect.center();
    const QPolygon triangle(
        {centre + QPoint(-2, -4), centre + QPoint(2, 0), centre + QPoint(-2, 4)});
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setBrush(Qt::black);
    painter->setPen(Qt::NoPen);
    painter->drawPolygon(triangle);
    painter->restore();
}

}  // namespace tunnel::ui
