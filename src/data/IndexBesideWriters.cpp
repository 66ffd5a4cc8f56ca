#include "data/IndexBesideWriters.h"

#include "platform/db/BriefStep.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <QRegularExpression>
#include <QStringList>

namespace tunnel::data {
namespace {

constexpr int kLongestName = 63;  // the server's names are cut beyond
// A writer queued behind a try waits at most this long; tries go on for about a minute.
constexpr int kBriefWaitMs = 200;
constexpr int kBriefTries = 300;

const QRegularExpression& creation() {
    static const QRegularExpression statement(
        QStringLiteral("^CREATE INDEX (\\w+) ON \\[?(\\w+)\\]? "),
        QRegularExpression::CaseInsensitiveOption);
    return statement;
}

QString relationKind(db::Database& db, const QString& name) {
    QString kind;
    db.forEachRow(
        QStringLiteral("SELECT relkind FROM pg_class WHERE relname = ? AND "
                       "pg_table_is_visible(oid)"),
        {name.toLower()}, [&](const QVariantList& row) { kind = row[0].toString(); },
        db::Database::Written::ForEngine);
    return kind;
}

QStringList partitionsOf(db::Database& db, const QString& table) {
    QStringList partitions;
    db.forEachRow(
        QStringLiteral("SELECT c.relname FROM pg_inherits i JOIN pg_class c ON c.oid = "
                       "i.inhrelid WHERE i.inhparent = ?::regclass ORDER BY 1"),
        {table.toLower()}, [&](const QVariantList& row) { partitions.append(row[0].toString()); },
        db::Database::Written::ForEngine);
    return partitions;
}

// `create` for another index name and table.
QString creationOf(const QString& create, const QString& name, const QString& table,
                   const QString& how) {
    const QRegularExpressionMatch match = creation().match(create);
    return QStringLiteral("CREATE INDEX %1%2 ON %3 ").arg(how, name, table) +
           create.mid(match.capturedEnd(0));
}

// A concurrent build that fails leaves its index behind, unusable but kept by every writer.
void buildConcurrently(db::Database& db, const QString& name, const QString& statement) {
    try {
        db.execute(statement);
    } catch (const db::DbError&) {
        try {
            db.execute(QStringLiteral("DROP INDEX CONCURRENTLY IF EXISTS ") + name);
        } catch (const db::DbError&) {
            // The build's own error is the one to report; the next upgrade drops what is left.
        }
        throw;
    }
}

}  // namespace

void buildIndexBesideWriters(db::Database& db, const QString& table, const QString& create) {
    const QRegularExpressionMatch match = creation().match(create);
    if (!match.hasMatch()) {
        throw db::DbError(QStringLiteral("索引语句无法识别：%1").arg(create));
    }
    const QString name = match.captured(1);
    if (relationKind(db, table) != u"p") {
        buildConcurrently(db, name,
                          creationOf(create, name, table, QStringLiteral("CONCURRENTLY ")));
        return;
    }
    // Each partition's index is built beside its writers; the table's own index, made empty
    // and then given them, needs the table a moment: taken in brief tries, so that writers
    // queued behind a try that waits for a long transaction wait no longer than the try.
    QStringList children;
    for (const QString& partition : partitionsOf(db, table)) {
        const QString child = (name + u'_' + partition).left(kLongestName);
        buildConcurrently(db, child,
                          creationOf(create, child, partition, QStringLiteral("CONCURRENTLY ")));
        children.append(child);
    }
    db::runInBriefSteps(db, creationOf(create, name, QStringLiteral("ONLY ") + table, QString()),
                        kBriefWaitMs, kBriefTries);
    for (const QString& child : children) {
        db::runInBriefSteps(db,
                            QStringLiteral("ALTER INDEX %1 ATTACH PARTITION %2").arg(name, child),
                            kBriefWaitMs, kBriefTries);
    }
}

QString dropIndexBesideWritersStatement(db::Database& db, const QString& name) {
    return relationKind(db, name) == u"I" ? QStringLiteral("DROP INDEX ") + name
                                          : QStringLiteral("DROP INDEX CONCURRENTLY ") + name;
}

}  // namespace tunnel::data
