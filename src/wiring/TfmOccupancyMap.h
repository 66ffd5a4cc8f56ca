#pragma once

#include "data/OccupancyMap.h"
#include "platform/ui/Form.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace tunnel::wiring {

// Who holds each terminal of a gateway or each bit of a PLC's registers, as stored: a cell is
// free, names the device and the description of the parameter that holds it (its number in the
// tooltip), or is marked red when several rows claim it at once. Rows that point outside the
// space are listed below the grid. It only shows. It opens wide enough for every terminal or
// bit side by side on the screen it is on, and can be resized.
class TfmOccupancyMap : public ui::Form {
    Q_OBJECT
public:
    TfmOccupancyMap(QWidget* owner, const QString& caption, const data::OccupancyMap& map,
                    const data::TypeNameOf& typeName);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillCells(const data::OccupancyMap& map, const data::TypeNameOf& typeName);
    void sizeToFit(const data::OccupancyMap& map);
    void fillApart(const data::OccupancyMap& map, const data::TypeNameOf& typeName);

    QTableWidget* gridMap;
    QLabel* lbApartTitle;
    QListWidget* lbApart;
    QPushButton* btClose;
};

}  // namespace tunnel::wiring
