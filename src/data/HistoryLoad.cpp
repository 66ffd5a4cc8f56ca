#include "data/HistoryLoad.h"

#include "data/ChangeNotices.h"
#include "platform/db/CopyIn.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Transaction.h"

namespace tunnel::data {
namespace {

constexpr char kLoaded[] = "tunnel_loaded_newest";

// A row without a time is the newest, as the server orders a history newest first.
bool isNewer(const QVariant& time, const QVariant& than) {
    return time.isNull() ||
           (!than.isNull() && QVariant::compare(time, than) == QPartialOrdering::Greater);
}

}  // namespace

HistoryLoad::HistoryLoad(db::Database& db, QString history, const QStringList& columns)
    : db_(db), history_(std::move(history)) {
    if (db_.engine() != db::Engine::PostgreSQL || !hasServerKeptState(db_)) {
        return;
    }
    type_ = columns.indexOf(QStringLiteral("DEVICETYPE"));
    code_ = columns.indexOf(QStringLiteral("DEVICECODE"));
    time_ = columns.indexOf(serverHistoryTime(history_));
    if (type_ < 0 || code_ < 0 || time_ < 0) {
        return;
    }
    try {
        db_.execute(QStringLiteral("SET session_replication_role = replica"));
        triggersAside_ = true;
    } catch (const db::DbError&) {
        // A role that may not set it: the triggers keep the copies, a row at a time.
    }
}

HistoryLoad::~HistoryLoad() {
    try {
        restoreTriggers(LoadedRows::NewestRemaining);
    } catch (const std::exception&) {
        // The load's error is already on its way; the devices' next rows correct their copies.
    }
}

void HistoryLoad::wrote(const QVariantList& row) {
    if (!triggersAside_ || row[type_].isNull() || row[code_].isNull()) {
        return;
    }
    const std::pair<int, int> device{row[type_].toInt(), row[code_].toInt()};
    const auto known = newest_.constFind(device);
    if (known == newest_.constEnd() || isNewer(row[time_], *known)) {
        newest_.insert(device, row[time_]);
    }
}

void HistoryLoad::finish() {
    restoreTriggers(LoadedRows::Newest);
}

void HistoryLoad::restoreTriggers(LoadedRows copied) {
    if (!triggersAside_) {
        return;
    }
    triggersAside_ = false;
    db_.execute(QStringLiteral("RESET session_replication_role"));
    keepNewestLoaded(copied);
}

void HistoryLoad::keepNewestLoaded(LoadedRows copied) {
    const QString time = serverHistoryTime(history_);
    db_.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(kLoaded)));
    db_.execute(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT DEVICETYPE, DEVICECODE, %2 FROM %3 "
                               "WITH NO DATA")
                    .arg(QLatin1String(kLoaded), time, history_));
    {
        db::Transaction transaction(db_);
        db_.execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL READ COMMITTED"));
        db::CopyIn copy(db_, QString::fromLatin1(kLoaded),
                        {QStringLiteral("DEVICETYPE"), QStringLiteral("DEVICECODE"), time});
        for (auto device = newest_.constBegin(); device != newest_.constEnd(); ++device) {
            copy.add({device.key().first, device.key().second, device.value()});
        }
        copy.finish();
        // Its size known, the copies' statements are planned for it, not for an empty table.
        db_.execute(QStringLiteral("ANALYZE %1").arg(QLatin1String(kLoaded)));
        keepLoadedRows(db_, history_, QString::fromLatin1(kLoaded), copied);
        if (hasChangeNotices(db_)) {
            db_.execute(QStringLiteral("SELECT pg_notify('%1', '%2')")
                            .arg(QLatin1String(kChangeChannel), history_.toLower()));
        }
        transaction.commit();
    }
    db_.execute(QStringLiteral("DROP TABLE %1").arg(QLatin1String(kLoaded)));
    newest_.clear();
}

}  // namespace tunnel::data
