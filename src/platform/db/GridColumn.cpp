#include "platform/db/GridColumn.h"

#include "platform/db/ValueText.h"

namespace tunnel::db {

QVariant columnData(const GridColumn& column, const QVariant& value, int role) {
    switch (role) {
        case Qt::DisplayRole:
            return column.displayText ? column.displayText(value) : textOf(value);
        case Qt::EditRole:
            return textOf(value);
        case Qt::TextAlignmentRole:
            return static_cast<int>(column.alignment);
        default:
            return {};
    }
}

}  // namespace tunnel::db
