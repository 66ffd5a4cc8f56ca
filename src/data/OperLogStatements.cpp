#include "data/OperLogStatements.h"

#include "platform/db/SqlLiteral.h"
#include "platform/text/TextRules.h"

#include <QStringList>

namespace tunnel::data {

QString operLogStatement(const OperLogFilter& filter, const std::optional<QString>& candidates) {
    QStringList conditions = {
        QStringLiteral("LOGTIME>='%1 00:00:00.000'").arg(filter.begin.toString(Qt::ISODate)),
        QStringLiteral("LOGTIME<='%1 23:59:59.999'").arg(filter.end.toString(Qt::ISODate))};
    if (!filter.table.isEmpty()) {
        conditions.append(QStringLiteral("TABLENAME=") + db::sqlQuote(filter.table));
    }
    if (!filter.rowKey.isEmpty()) {
        conditions.append(QStringLiteral("ROWKEY=") + db::sqlQuote(filter.rowKey));
    }
    const QString text = text::trimmed(filter.text);
    if (!text.isEmpty()) {
        QStringList anywhere;
        for (const char* column : {"STATION", "OPERATOR", "ROWKEY", "BEFORETEXT", "AFTERTEXT"}) {
            anywhere.append(QStringLiteral("UPPER(%1) LIKE %2")
                                .arg(QLatin1String(column), db::likeContaining(text)));
        }
        conditions.append(u'(' + anywhere.join(QStringLiteral(" or ")) + u')');
        if (candidates) {
            conditions.append(*candidates);
        }
    }
    return QStringLiteral("select * from OPERLOG where ") +
           conditions.join(QStringLiteral(" and "));
}

db::GridOrder operLogOrder() {
    return {{QStringLiteral("LOGTIME"), QStringLiteral("LOGID")}, true};
}

const QVector<LoggedTable>& loggedTables() {
    static const QVector<LoggedTable> tables = {
        {QStringLiteral("所有"), QString()},
        {QStringLiteral("设备"), QStringLiteral("DEVICE")},
        {QStringLiteral("接线"), QStringLiteral("NGCONFIG")},
        {QStringLiteral("PLC映射"), QStringLiteral("PLCCONFIG")},
        {QStringLiteral("区域"), QStringLiteral("AREA")},
    };
    return tables;
}

QString funcCodeText(int code) {
    switch (code) {
        case 0:
            return QStringLiteral("tunneldb");
        case 1:
            return QStringLiteral("设备管理");
        case 2:
            return QStringLiteral("网关连接配置");
        case 4:
            return QStringLiteral("系统区域管理");
        case 6:
            return QStringLiteral("PLC配置");
        case 7:
            return QStringLiteral("OmronPLC配置");
        default:
            return QString::number(code);
    }
}

QString operLogBeforeStatement(const QDate& day) {
    return QStringLiteral("select * from OPERLOG where LOGTIME<'%1 00:00:00.000' order by LOGID")
        .arg(day.toString(Qt::ISODate));
}

}  // namespace tunnel::data
