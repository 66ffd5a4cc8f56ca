#include "data/ChangeNotices.h"

#include "platform/db/Database.h"

#include <QStringList>

namespace tunnel::data {
namespace {

// The tables a trigger function tells of, on its channel.
struct Notices {
    QString function;
    const char* channel;
    QString triggerSuffix;  // after the table's name
    QStringList tables;
};

const Notices& changes() {
    static const Notices notices{
        QStringLiteral("TUNNEL_CHANGE_NOTICE"),
        kChangeChannel,
        QStringLiteral("_CHANGE_NOTICE"),
        {QStringLiteral("DEVICE"), QStringLiteral("DEVICESTATUS"), QStringLiteral("DEVICEALERT")}};
    return notices;
}

const Notices& catalogues() {
    static const Notices notices{QStringLiteral("TUNNEL_CATALOGUE_NOTICE"),
                                 kCatalogueChannel,
                                 QStringLiteral("_CATALOGUE_NOTICE"),
                                 {QStringLiteral("AREA"), QStringLiteral("DEVICETYPE")}};
    return notices;
}

QString triggerOf(const QString& table, const Notices& notices) {
    return table + notices.triggerSuffix;
}

bool has(db::Database& db, const Notices& notices) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return false;
    }
    QStringList names;
    for (const QString& table : notices.tables) {
        names.append(u'\'' + triggerOf(table, notices).toLower() + u'\'');
    }
    int triggers = 0;
    db.forEachRow(QStringLiteral("SELECT count(*) FROM pg_trigger WHERE tgname IN (%1)")
                      .arg(names.join(u',')),
                  {}, [&](const QVariantList& row) { triggers = row[0].toInt(); });
    return triggers == static_cast<int>(notices.tables.size());
}

bool add(db::Database& db, const Notices& notices) {
    if (has(db, notices)) {
        return false;
    }
    db.execute(QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                              "AS 'BEGIN PERFORM pg_notify(''%2'', TG_TABLE_NAME); RETURN NULL; "
                              "END'")
                   .arg(notices.function, QString::fromLatin1(notices.channel)));
    for (const QString& table : notices.tables) {
        const QString trigger = triggerOf(table, notices);
        db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(trigger, table));
        db.execute(QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE ON %2 FOR "
                                  "EACH STATEMENT EXECUTE FUNCTION %3()")
                       .arg(trigger, table, notices.function));
    }
    return true;
}

void drop(db::Database& db, const Notices& notices) {
    for (const QString& table : notices.tables) {
        if (db.hasTable(table)) {
            db.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2")
                           .arg(triggerOf(table, notices), table));
        }
    }
    db.execute(QStringLiteral("DROP FUNCTION IF EXISTS %1()").arg(notices.function));
}

}  // namespace

bool hasChangeNotices(db::Database& db) {
    return has(db, changes());
}

bool hasCatalogueNotices(db::Database& db) {
    return has(db, catalogues());
}

bool addChangeNotices(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return false;
    }
    const bool changesAdded = add(db, changes());
    const bool cataloguesAdded = add(db, catalogues());
    return changesAdded || cataloguesAdded;
}

void dropChangeNotices(db::Database& db) {
    if (db.engine() != db::Engine::PostgreSQL) {
        return;
    }
    drop(db, changes());
    drop(db, catalogues());
}

}  // namespace tunnel::data
