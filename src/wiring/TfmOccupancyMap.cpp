#include "wiring/TfmOccupancyMap.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Modal.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>

#include <algorithm>

namespace tunnel::wiring {
namespace {

const QColor kClash(230, 40, 40);
const QColor kFree(128, 128, 128);

// Room for a cell's two short lines, and for what is not the grid.
constexpr int kCellWidth = 78;
constexpr int kCellHeight = 40;
constexpr int kRowTitles = 90;
constexpr int kBelowGrid = 140;

QString claimTip(const data::MapClaim& claim, const data::TypeNameOf& typeName) {
    return data::claimText(claim, typeName) + QStringLiteral("：") + claim.descript;
}

}  // namespace

TfmOccupancyMap::TfmOccupancyMap(QWidget* owner, const QString& caption,
                                 const data::OccupancyMap& map, const data::TypeNameOf& typeName)
    : Form(QStringLiteral("fmOccupancyMap"), caption, owner) {
    gridMap = new QTableWidget(map.rowCount(), map.columnCount(), this);
    gridMap->setObjectName(QStringLiteral("gridMap"));
    gridMap->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridMap->setVerticalHeaderLabels(map.rowTitles());
    gridMap->setHorizontalHeaderLabels(map.columnTitles());
    gridMap->setWordWrap(true);
    gridMap->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    lbApartTitle = ui::label(this, QStringLiteral("不在范围内的记录"), 8, 0);
    lbApart = ui::listBox(this, "lbApart", 8, 0, 0, 66);
    btClose = ui::button(this, "btClose", QStringLiteral("关闭(&C)"), 0, 0);
    connect(btClose, &QPushButton::clicked, this, [this] { done(ui::mrCancel); });
    fillCells(map, typeName);
    fillApart(map, typeName);
    sizeToFit(map);
}

void TfmOccupancyMap::sizeToFit(const data::OccupancyMap& map) {
    const QSize wanted(std::max(760, kRowTitles + kCellWidth * map.columnCount()),
                       std::max(440, kBelowGrid + 30 + kCellHeight * map.rowCount()));
    const QScreen* screen =
        parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen != nullptr ? screen->availableSize() - QSize(40, 80) : wanted;
    setMinimumSize(560, 360);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(wanted.boundedTo(room).expandedTo(minimumSize()));
}

void TfmOccupancyMap::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    const int w = width();
    const int h = height();
    gridMap->setGeometry(8, 8, w - 16, h - kBelowGrid + 32);
    lbApartTitle->move(8, h - 126);
    lbApart->setGeometry(8, h - 110, w - 16, 66);
    btClose->move(w - 83, h - 34);
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
                    texts.append(data::claimCellText(claim, typeName));
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
