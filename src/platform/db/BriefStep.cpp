#include "platform/db/BriefStep.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Transaction.h"

namespace tunnel::db {
namespace {

// SQLite's wait for the file's lock is the connection's own: shortened while the step runs.
class BriefWait {
public:
    BriefWait(Database& db, int waitMs) : db_(db) {
        if (db_.engine() == Engine::SQLite) {
            db_.execute(QStringLiteral("PRAGMA busy_timeout = %1").arg(waitMs));
        }
    }
    ~BriefWait() {
        if (db_.engine() != Engine::SQLite) {
            return;
        }
        try {
            db_.execute(QStringLiteral("PRAGMA busy_timeout = %1")
                            .arg(db_.settings().lockTimeoutSeconds * 1000));
        } catch (const DbError&) {
            // The session is lost: a new one takes the connection's own wait.
        }
    }
    BriefWait(const BriefWait&) = delete;
    BriefWait& operator=(const BriefWait&) = delete;

private:
    Database& db_;
};

void runOnce(Database& db, const QString& statement, int waitMs) {
    Transaction transaction(db);
    if (db.engine() == Engine::PostgreSQL) {
        db.execute(QStringLiteral("SET LOCAL lock_timeout = %1").arg(waitMs));
    }
    db.execute(statement);
    transaction.commit();
}

}  // namespace

void runInBriefSteps(Database& db, const QString& statement, int waitMs, int tries,
                     const std::function<void()>& waiting) {
    const BriefWait brief(db, waitMs);
    for (int attempt = 1;; ++attempt) {
        try {
            runOnce(db, statement, waitMs);
            return;
        } catch (const DbError& error) {
            if (!error.isBusy() || attempt >= tries) {
                throw;
            }
            if (waiting) {
                waiting();
            }
        }
    }
}

}  // namespace tunnel::db
