#include "data/OccupancyMap.h"

#include "data/GatewayPorts.h"
#include "data/WiringStatements.h"
#include "platform/db/Query.h"
#include "platform/text/TextRules.h"

#include <algorithm>

namespace tunnel::data {

OccupancyMap::OccupancyMap(QStringList rowTitles, QStringList columnTitles)
    : rowTitles_(std::move(rowTitles)),
      columnTitles_(std::move(columnTitles)),
      cells_(rowTitles_.size() * columnTitles_.size()) {}

void OccupancyMap::claim(int row, int column, MapClaim claim) {
    cells_[row * columnCount() + column].append(std::move(claim));
}

void OccupancyMap::claimApart(const QString& where, MapClaim claim) {
    apart_.append({where, std::move(claim)});
}

const QVector<MapClaim>& OccupancyMap::claims(int row, int column) const {
    return cells_[row * columnCount() + column];
}

namespace {

QString deviceOf(const MapClaim& claim, const TypeNameOf& typeName) {
    return QStringLiteral("%1(%2)")
        .arg(text::trimmed(typeName(claim.deviceType)))
        .arg(claim.deviceCode);
}

}  // namespace

QString claimText(const MapClaim& claim, const TypeNameOf& typeName) {
    return deviceOf(claim, typeName) + QStringLiteral(" 参数%1").arg(claim.param);
}

QString claimCellText(const MapClaim& claim, const TypeNameOf& typeName) {
    if (claim.descript.isEmpty()) {
        return claimText(claim, typeName);
    }
    return deviceOf(claim, typeName) + u' ' + claim.descript;
}

namespace {

MapClaim claimOf(const db::Query& query) {
    return {query.integer(QStringLiteral("DEVICETYPE")),
            query.integer(QStringLiteral("DEVICECODE")),
            query.integer(QStringLiteral("DEVICEPARAM")),
            text::trimmed(query.text(QStringLiteral("DESCRIPT")))};
}

}  // namespace

OccupancyMap readGatewayTerminalMap(db::Query& query, int gatewayCode) {
    QStringList kinds;
    for (int kind = 1; kind <= kPortKinds; ++kind) {
        kinds.append(PortTypeText(kind));
    }
    QStringList terminals;
    for (int terminal = 1; terminal <= kTerminalsPerKind; ++terminal) {
        terminals.append(QString::number(terminal));
    }
    OccupancyMap map(kinds, terminals);
    query.close();
    query.setSql(gatewayTerminalsStatement(gatewayCode));
    query.open();
    for (; !query.eof(); query.next()) {
        const int kind = query.integer(QStringLiteral("PORTTYPE"));
        const int terminal = query.integer(QStringLiteral("PORTCODE"));
        if (isTerminal(kind, terminal)) {
            map.claim(kind - 1, terminal - 1, claimOf(query));
        } else {
            map.claimApart(QStringLiteral("端子类型%1 端子%2").arg(kind).arg(terminal),
                           claimOf(query));
        }
    }
    query.close();
    return map;
}

OccupancyMap readPlcRegisterMap(db::Query& query, int plcCode, const QVector<RegisterRow>& rows,
                                int bits) {
    QStringList titles;
    for (const RegisterRow& row : rows) {
        titles.append(row.title);
    }
    QStringList columns;
    for (int bit = 0; bit < bits; ++bit) {
        columns.append(QString::number(bit));
    }
    OccupancyMap map(titles, columns);
    query.close();
    query.setSql(QStringLiteral("select * from PLCCONFIG where PLCCODE=") +
                 QString::number(plcCode));
    query.open();
    for (; !query.eof(); query.next()) {
        const int type = query.integer(QStringLiteral("RegisterTYPE"));
        const int code = query.integer(QStringLiteral("RegisterCODE"));
        const int bit = query.integer(QStringLiteral("RegisterBIT"));
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const RegisterRow& r) {
            return r.registerType == type && r.registerCode == code;
        });
        if (row != rows.end() && bit >= 0 && bit < bits) {
            map.claim(static_cast<int>(row - rows.begin()), bit, claimOf(query));
        } else {
            map.claimApart(
                QStringLiteral("寄存器类型%1 寄存器%2 位%3").arg(type).arg(code).arg(bit),
                claimOf(query));
        }
    }
    query.close();
    return map;
}

}  // namespace tunnel::data
