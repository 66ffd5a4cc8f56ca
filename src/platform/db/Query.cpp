#include "platform/db/Query.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <QSqlError>

namespace tunnel::db {

Query::Query(QString connectionString) : connectionString_(std::move(connectionString)) {}

Query::Query(std::shared_ptr<Database> db) : db_(std::move(db)) {}

Query::Query(Database& db) : db_(std::shared_ptr<Database>(), &db) {}

Query::~Query() = default;

void Query::setConnectionString(const QString& connectionString) {
    close();
    connectionString_ = connectionString;
    db_.reset();
}

void Query::setSql(const QString& statement) {
    close();
    sql_ = statement;
}

void Query::setSql(const QStringList& lines) {
    setSql(lines.join(u'\n'));
}

Database& Query::database() {
    if (!db_) {
        db_ = Database::shared(connectionString_);
    }
    return *db_;
}

void Query::open() {
    close();
    Database& db = database();
    // PostgreSQL streams a forward-only result over the connection, and a second statement
    // on the same connection would cut it off; its results are read whole instead.
    QSqlQuery query =
        db.select(sql_, Database::Written::SqlServer, db.engine() != Engine::PostgreSQL);
    record_ = query.record();
    fieldIndex_.clear();
    onRow_ = query.next();
    empty_ = !onRow_;
    query_.emplace(std::move(query));
}

int Query::execute() {
    close();
    return database().execute(sql_);
}

void Query::close() {
    query_.reset();
    record_ = QSqlRecord();
    fieldIndex_.clear();
    empty_ = true;
    onRow_ = false;
}

bool Query::isEmpty() const {
    return empty_;
}

bool Query::eof() const {
    return !onRow_;
}

void Query::next() {
    if (query_ && onRow_) {
        onRow_ = db_->next(*query_, sql_);
    }
}

int Query::indexOf(const QString& field) const {
    const QString key = field.toLower();
    auto found = fieldIndex_.constFind(key);
    if (found != fieldIndex_.constEnd()) {
        return *found;
    }
    for (int i = 0; i < record_.count(); ++i) {
        if (record_.fieldName(i).compare(field, Qt::CaseInsensitive) == 0) {
            fieldIndex_.insert(key, i);
            return i;
        }
    }
    throw DbError(QStringLiteral("查询结果中没有“%1”列。").arg(field), {}, false, sql_);
}

void Query::requireRow() const {
    if (!query_ || !onRow_) {
        throw DbError(QStringLiteral("没有可读取的当前行。"), {}, false, sql_);
    }
}

QVariant Query::value(const QString& field) const {
    const int index = indexOf(field);
    requireRow();
    return query_->value(index);
}

QStringList Query::fieldNames() const {
    QStringList names;
    for (int i = 0; i < record_.count(); ++i) {
        names.append(record_.fieldName(i));
    }
    return names;
}

bool Query::isNull(const QString& field) const {
    return value(field).isNull();
}

int Query::integer(const QString& field) const {
    return integerOf(value(field));
}

QString Query::text(const QString& field) const {
    return textOf(value(field));
}

}  // namespace tunnel::db
