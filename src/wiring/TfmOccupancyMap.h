#pragma once

#include "data/OccupancyMap.h"
#include "platform/ui/Form.h"

class QTableWidget;
class QListWidget;

namespace tunnel::wiring {

// Who holds each terminal of a gateway or each bit of a PLC's registers, as stored: a cell is
// free, names the device parameter that holds it, or is marked red when several rows claim it
// at once. Rows that point outside the space are listed below the grid. It only shows.
class TfmOccupancyMap : public ui::Form {
    Q_OBJECT
public:
    TfmOccupancyMap(QWidget* owner, const QString& caption, const data::OccupancyMap& map,
                    const data::TypeNameOf& typeName);

private:
    void fillCells(const data::OccupancyMap& map, const data::TypeNameOf& typeName);
    void fillApart(const data::OccupancyMap& map, const data::TypeNameOf& typeName);

    QTableWidget* gridMap;
    QListWidget* lbApart;
};

}  // namespace tunnel::wiring
