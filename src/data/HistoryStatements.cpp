#include "data/HistoryStatements.h"

namespace tunnel::data {
namespace {

QString day(const QDate& date) {
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

}  // namespace

QString stateHistoryStatement(const QDate& begin, const QDate& end, int type, const QString& code) {
    QString sql = QStringLiteral("select * from DEVICESTATUS ") +
                  QStringLiteral(" where STATUSTIME>=") + u'\'' + day(begin) +
                  QStringLiteral(" 00:00:00.000") + u'\'' + QStringLiteral(" and STATUSTIME <=") +
                  u'\'' + day(end) + QStringLiteral(" 23:59:59.999") + u'\'';
    if (type != 0) {
        sql += QStringLiteral(" and DEVICETYPE= ") + QString::number(type);
    }
    if (code != QStringLiteral("所有设备") && !code.isEmpty()) {
        sql += QStringLiteral(" and DEVICECODE=") + code;
    }
    return sql;
}

QString alertHistoryStatement(const QDate& begin, const QDate& end, int type, int device) {
    QString sql = QStringLiteral("select * from DEVICEALERT ") +
                  QStringLiteral("where ALERTTIME>=") + u'\'' + day(begin) +
                  QStringLiteral(" 00:00:00") + u'\'' + QStringLiteral(" and ALERTTIME<=") + u'\'' +
                  day(end) + QStringLiteral(" 23:59:59.999") + u'\'';
    if (type != 0) {
        sql += QStringLiteral(" and DEVICETYPE=") + QString::number(type);
    }
    if (device != 0) {
        sql += QStringLiteral(" and DEVICECODE=") + QString::number(device);
    }
    return sql;
}

QString newestAlertsStatement() {
    return QStringLiteral("select top 100 * from DEVICEALERT order by ALERTTIME desc");
}

db::GridOrder stateHistoryOrder(bool newestFirst) {
    return {
        {QStringLiteral("STATUSTIME"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
         QStringLiteral("PRESTATUS"), QStringLiteral("CURSTATUS"), QStringLiteral("REMARK")},
        newestFirst};
}

db::GridOrder alertHistoryOrder(bool newestFirst) {
    return {
        {QStringLiteral("ALERTTIME"), QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"),
         QStringLiteral("ALERTTYPE"), QStringLiteral("ALERTDESC")},
        newestFirst};
}

}  // namespace tunnel::data
