#include "data/ChangeNotices.h"

#include "platform/db/Database.h"

#include <QStringList>

namespace tunnel::data {
namespace {

const QStringList& noticedTables() {
    static const QStringList tables = {QStringLiteral("DEVICE"), QStringLiteral("DEVICESTATUS"),
                                       QStringLiteral("DEVICEALERT")};
    return tables;
}

}  // namespace

bool hasChangeNotices(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return false;
    }
    int triggers = 0;
    db.forEachRow(QStringLiteral("SELECT count(*) FROM pg_trigger WHERE tgname IN "
                                 "('device_change_notice', 'devicestatus_change_notice', "
                                 "'devicealert_change_notice')"),
                  {}, [&](const QVariantList& row) { triggers = row[0].toInt(); });
    return triggers == static_cast<int>(noticedTables().size());
}

bool addChangeNotices(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL || hasChangeNotices(db)) {
        return false;
    }
    db.execute(
        QStringLiteral("CREATE OR REPLACE FUNCTION TUNNEL_CHANGE_NOTICE() RETURNS trigger "
                       "LANGUAGE plpgsql AS 'BEGIN PERFORM pg_notify(''%1'', TG_TABLE_NAME); "
                       "RETURN NULL; END'")
            .arg(QString::fromLatin1(kChangeChannel)));
    for (const QString& table : noticedTables()) {
        db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1_CHANGE_NOTICE ON %1").arg(table));
        db.execute(QStringLiteral("CREATE TRIGGER %1_CHANGE_NOTICE AFTER INSERT OR UPDATE OR "
                                  "DELETE ON %1 FOR EACH STATEMENT EXECUTE FUNCTION "
                                  "TUNNEL_CHANGE_NOTICE()")
                       .arg(table));
    }
    return true;
}

void dropChangeNotices(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return;
    }
    for (const QString& table : noticedTables()) {
        if (db.hasTable(table)) {
            db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1_CHANGE_NOTICE ON %1").arg(table));
        }
    }
    db.execute(QStringLiteral("DROP FUNCTION IF EXISTS TUNNEL_CHANGE_NOTICE()"));
}

}  // namespace tunnel::data
