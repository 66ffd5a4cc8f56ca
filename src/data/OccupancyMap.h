#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace tunnel::db {
class Query;
}

namespace tunnel::data {

// A device parameter wired to a terminal or mapped to a register bit, as a stored row says.
struct MapClaim {
    int deviceType = 0;
    int deviceCode = 0;
    int param = 0;
    QString descript;
};

// Who holds each place of a fixed space (a gateway's port kinds x terminals, a PLC's registers
// x bits), as the stored rows say: a place may be free, held once, or claimed by several rows
// at once (a clash that other programs' writes can make). Rows that name a place outside the
// space are kept apart with a label saying where they point.
class OccupancyMap {
public:
    OccupancyMap(QStringList rowTitles, QStringList columnTitles);

    int rowCount() const { return static_cast<int>(rowTitles_.size()); }
    int columnCount() const { return static_cast<int>(columnTitles_.size()); }
    const QStringList& rowTitles() const { return rowTitles_; }
    const QStringList& columnTitles() const { return columnTitles_; }

    void claim(int row, int column, MapClaim claim);
    void claimApart(const QString& where, MapClaim claim);

    const QVector<MapClaim>& claims(int row, int column) const;
    bool clashes(int row, int column) const { return claims(row, column).size() > 1; }
    struct Apart {
        QString where;
        MapClaim claim;
    };
    const QVector<Apart>& apart() const { return apart_; }

private:
    QStringList rowTitles_;
    QStringList columnTitles_;
    QVector<QVector<MapClaim>> cells_;
    QVector<Apart> apart_;
};

using TypeNameOf = std::function<QString(int typeCode)>;

// "照明回路(3) 参数2": the device's trimmed type name, its number and the parameter.
QString claimText(const MapClaim& claim, const TypeNameOf& typeName);
// What a map's cell shows of a claim: the device and the parameter's description as stored
// ("照明回路(3) 2-开关"), the parameter's number where there is none.
QString claimCellText(const MapClaim& claim, const TypeNameOf& typeName);

// The terminals of a gateway: the rows of every NGTYPE that name it, as the port assignment
// counts them. Throws DbError.
OccupancyMap readGatewayTerminalMap(db::Query& query, int gatewayCode);

// One row of a PLC's register map: the stored register type and number it stands for.
struct RegisterRow {
    QString title;
    int registerType;
    int registerCode;
};
// The registers of a PLC as rows and bits 0 to bits-1 as columns, from its stored mappings;
// mappings of other registers or bits are kept apart. Throws DbError.
OccupancyMap readPlcRegisterMap(db::Query& query, int plcCode, const QVector<RegisterRow>& rows,
                                int bits);

}  // namespace tunnel::data
