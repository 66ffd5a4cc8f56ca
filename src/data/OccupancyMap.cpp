#include "data/OccupancyMap.h"

#include "data/GatewayPorts.h"
#include "data/WiringStatements.h"
#include "platform/db/Query.h"
#include "platform/text/TextRules.h"

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

QString claimText(const MapClaim& claim, const TypeNameOf& typeName) {
    return QStringLiteral("%1(%2) 参数%3")
        .arg(text::trimmed(typeName(claim.deviceType)))
        .arg(claim.deviceCode)
        .arg(claim.param);
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

}  // namespace tunnel::data
