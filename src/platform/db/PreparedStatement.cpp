#include "platform/db/PreparedStatement.h"

#include "platform/db/Database.h"

#include <QSqlQuery>

namespace tunnel::db {

PreparedStatement::PreparedStatement(Database& db, const QString& sql)
    : db_(db),
      sql_(sql),
      query_(db.settings().pooledTransactions ? nullptr
                                              : std::make_unique<QSqlQuery>(db.prepare(sql))) {}

PreparedStatement::~PreparedStatement() = default;

void PreparedStatement::run(const QVariantList& values) {
    if (!query_) {
        db_.execute(sql_, values);  // behind a pooler nothing is prepared on the server
        return;
    }
    for (int i = 0; i < values.size(); ++i) {
        query_->bindValue(i, db_.boundValue(values[i]));
    }
    db_.run(*query_, sql_);
}

}  // namespace tunnel::db
