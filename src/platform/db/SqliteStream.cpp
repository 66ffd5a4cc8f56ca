#include "platform/db/SqliteStream.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/text/Gbk.h"

#include <sqlite3.h>

namespace tunnel::db {
namespace {

sqlite3* connectionOf(Database& db) {
    auto* connection = static_cast<sqlite3*>(db.sqliteConnection());
    if (connection == nullptr) {
        throw DbError(QStringLiteral("连接不是 SQLite 连接。"));
    }
    return connection;
}

DbError failure(sqlite3* connection, const QString& sql) {
    return DbError(QString::fromUtf8(sqlite3_errmsg(connection)),
                   QString::number(sqlite3_extended_errcode(connection)), false, sql);
}

QVariant valueAt(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(statement, column));
        case SQLITE_TEXT: {
            const auto* bytes =
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            return QVariant(text::fromStoredText(
                QByteArray::fromRawData(bytes, sqlite3_column_bytes(statement, column))));
        }
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
            return QVariant(QByteArray(bytes, sqlite3_column_bytes(statement, column)));
        }
        default:
            return {};
    }
}

}  // namespace

SqliteStream::SqliteStream(const QString& connectionString, const QString& sql)
    : db_(Database::open(connectionString)), sql_(sql) {
    sqlite3* connection = connectionOf(*db_);
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(connection, text.constData(), static_cast<int>(text.size()), &statement_,
                           nullptr) != SQLITE_OK) {
        throw failure(connection, sql);
    }
    for (int i = 0; i < sqlite3_column_count(statement_); ++i) {
        fields_.append(QString::fromUtf8(sqlite3_column_name(statement_, i)));
    }
}

SqliteStream::~SqliteStream() {
    sqlite3_finalize(statement_);  // before the driver closes the connection
}

bool SqliteStream::read(int rows, const std::function<void(RowCache::Row&)>& take) {
    const int columns = static_cast<int>(fields_.size());
    RowCache::Row row;
    for (int taken = 0; taken < rows; ++taken) {
        const int stepped = sqlite3_step(statement_);
        if (stepped == SQLITE_DONE) {
            return false;
        }
        if (stepped != SQLITE_ROW) {
            throw failure(sqlite3_db_handle(statement_), sql_);
        }
        row.clear();
        row.reserve(columns);
        for (int i = 0; i < columns; ++i) {
            row.append(valueAt(statement_, i));
        }
        take(row);
    }
    return true;
}

}  // namespace tunnel::db
