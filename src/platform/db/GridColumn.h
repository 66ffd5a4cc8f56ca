#pragma once

#include <QString>
#include <QVariant>

#include <functional>

namespace tunnel::db {

// One column of a read-only grid: the field it shows, its title, its width in pixels (-1: the
// view's default) and alignment, and how a stored value reads as a cell text (by default the
// value as text).
struct GridColumn {
    QString field;
    QString title;
    int width = -1;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::function<QString(const QVariant&)> displayText;
};

// What a grid shows in `column` for a stored `value`, by item role: its display text (the
// column's own or the value as text) and the column's alignment.
QVariant columnData(const GridColumn& column, const QVariant& value, int role);

}  // namespace tunnel::db
