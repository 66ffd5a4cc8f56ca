#include "wiring/TfmOccupancyMap.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Modal.h"

#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

namespace tunnel::wiring {
namespace {

const QColor kClash(230, 40, 40);
const QColor kFree(128, 128, 128);

QString claimTip(const data::MapClaim& claim, const data::TypeNameOf& typeName) {
    return data::claimText(claim, typeName) + QStringLiteral("：") + claim.descript;
}

}  // namespace

TfmOccupancyMap::TfmOccupancyMap(QWidget* owner, const QString& caption,
                                 const data::OccupancyMap& map, const data::TypeNameOf& typeName)
    : Form(QStringLiteral("fmOccupancyMap"), caption, owner) {
    setClientSize(760, 440);
    gridMap = new QTableWidget(map.rowCount(), map.columnCount(), this);
    gridMap->setObjectName(QStringLiteral("gridMap"));
    gridMap->setGeometry(8, 8, 744, 300);
    gridMap->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridMap->setVerticalHeaderLabels(map.rowTitles());
    gridMap->setHorizontalHeaderLabels(map.columnTitles());
    gridMap->setWordWrap(true);
    ui::label(this, QStringLiteral("不在范围内的记录"), 8, 314);
    lbApart = ui::listBox(this, "lbApart", 8, 330, 744, 66);
    auto* close = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 677, 406);
    connect(close, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
    fillCells(map, typeName);
    fillApart(map, typeName);
    gridMap->resizeRowsToContents();
}

void TfmOccupancyMap::fillCells(const data::OccupancyMap& map, const data::TypeNameOf& typeName) {
    for (int row = 0; row < map.rowCount(); ++row) {
        for (int column = 0; column < map.columnCount(); ++column) {
            const QVector<data::MapClaim>& claims = map.claims(row, column);
            auto* cell = new QTableWidgetItem;
            if (claims.isEmpty()) {
                cell->setText(QStringLiteral("空闲"));
                cell->setForeground(kFree);
            } else {
                QStringList texts;
                QStringList tips;
                for (const data::MapClaim& claim : claims) {
                    texts.append(data::claimText(claim, typeName));
                    tips.append(claimTip(claim, typeName));
                }
                cell->setText(texts.join(u'\n'));
                cell->setToolTip(tips.join(u'\n'));
            }
            if (map.clashes(row, column)) {
                cell->setBackground(kClash);
                cell->setForeground(Qt::white);
                cell->setToolTip(QStringLiteral("%1 条记录同时占用：\n").arg(claims.size()) +
                                 cell->toolTip());
            }
            gridMap->setItem(row, column, cell);
        }
    }
}

void TfmOccupancyMap::fillApart(const data::OccupancyMap& map, const data::TypeNameOf& typeName) {
    for (const data::OccupancyMap::Apart& apart : map.apart()) {
        lbApart->addItem(apart.where + QStringLiteral("：") + claimTip(apart.claim, typeName));
    }
}

}  // namespace tunnel::wiring
