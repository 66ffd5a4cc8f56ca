#include "platform/db/PostgresStream.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

namespace tunnel::db {
namespace {

// The server's type numbers (pg_type.oid) of what is made other than a text.
constexpr unsigned int kBool = 16;
constexpr unsigned int kInt8 = 20;
constexpr unsigned int kInt2 = 21;
constexpr unsigned int kInt4 = 23;
constexpr unsigned int kOid = 26;
constexpr unsigned int kFloat4 = 700;
constexpr unsigned int kFloat8 = 701;
constexpr unsigned int kTimestamp = 1114;

const char* const kCursor = "tunnel_walk";

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

PGconn* pg(void* connection) {
    return static_cast<PGconn*>(connection);
}

DbError failure(PGconn* connection, const QString& sql) {
    return DbError(QString::fromUtf8(PQerrorMessage(connection)).trimmed(), {}, false, sql);
}

Result run(PGconn* connection, const QByteArray& statement, ExecStatusType expected,
           const QString& sql) {
    Result result(PQexec(connection, statement.constData()), &PQclear);
    if (PQresultStatus(result.get()) != expected) {
        throw failure(connection, sql);
    }
    return result;
}

// "2026-12-08 17:19:39[.ffffff]" as a stored time's text, the fraction to the nearest
// millisecond (at most 999, as the driver reads it); a text of another form (a year beyond
// 9999, BC, infinity) as it is.
QString timeText(const char* value, int length) {
    constexpr int kSeconds = 19;
    if (length < kSeconds || value[4] != '-' || value[10] != ' ' ||
        (length > kSeconds && value[kSeconds] != '.')) {
        return QString::fromUtf8(value, length);
    }
    double fraction = 0;
    if (length > kSeconds + 1) {
        std::from_chars(value + kSeconds, value + length, fraction);
    }
    const int milliseconds = std::min(static_cast<int>(std::lround(fraction * 1000)), 999);
    QString text = QString::fromLatin1(value, kSeconds);
    text.append(u'.');
    text.append(QChar(u'0' + milliseconds / 100));
    text.append(QChar(u'0' + milliseconds / 10 % 10));
    text.append(QChar(u'0' + milliseconds % 10));
    return text;
}

QVariant valueOf(const char* value, int length, unsigned int type) {
    switch (type) {
        case kInt2:
        case kInt4:
        case kInt8:
        case kOid: {
            qlonglong number = 0;
            std::from_chars(value, value + length, number);
            return QVariant(number);
        }
        case kFloat4:
        case kFloat8:
            return QVariant(QByteArray::fromRawData(value, length).toDouble());
        case kBool:
            return QVariant(length > 0 && value[0] == 't');
        case kTimestamp:
            return QVariant(timeText(value, length));
        default:
            return QVariant(QString::fromUtf8(value, length));
    }
}

}  // namespace

PostgresStream::PostgresStream(const QString& connectionString, const QString& sql)
    : db_(Database::open(connectionString)), sql_(sql) {
    db_->beginSnapshot();
    connection_ = db_->postgresConnection();
    if (connection_ == nullptr) {
        throw DbError(QStringLiteral("连接不是 PostgreSQL 连接。"), {}, false, sql);
    }
    run(pg(connection_), QByteArray("DECLARE ") + kCursor + " NO SCROLL CURSOR FOR " + sql.toUtf8(),
        PGRES_COMMAND_OK, sql);
    const Result described(PQdescribePortal(pg(connection_), kCursor), &PQclear);
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK) {
        throw failure(pg(connection_), sql);
    }
    for (int i = 0; i < PQnfields(described.get()); ++i) {
        fields_.append(QString::fromUtf8(PQfname(described.get(), i)));
        types_.append(PQftype(described.get(), i));
    }
}

void PostgresStream::Clear::operator()(pg_result* result) const {
    PQclear(result);
}

PostgresStream::~PostgresStream() {
    if (fetching_) {
        while (PGresult* result = PQgetResult(pg(connection_))) {
            PQclear(result);
        }
    }
    db_->rollback();  // ends the cursor with the transaction; the session is clean to keep
}

void PostgresStream::sendFetch() {
    const QByteArray fetch =
        QByteArray("FETCH FORWARD ") + QByteArray::number(kRowsAFetch) + " FROM " + kCursor;
    if (PQsendQuery(pg(connection_), fetch.constData()) == 0) {
        throw failure(pg(connection_), sql_);
    }
    fetching_ = true;
}

// The fetch sent last, and the next one sent at once: the server makes the next rows while
// these are written.
bool PostgresStream::receiveFetch() {
    if (!fetching_) {
        sendFetch();
    }
    PGresult* received = PQgetResult(pg(connection_));
    while (PGresult* rest = PQgetResult(pg(connection_))) {
        PQclear(rest);
    }
    fetching_ = false;
    batch_.reset(received);
    at_ = 0;
    if (PQresultStatus(received) != PGRES_TUPLES_OK) {
        throw failure(pg(connection_), sql_);
    }
    const int fetched = PQntuples(received);
    ended_ = fetched < kRowsAFetch;
    if (!ended_) {
        sendFetch();
    }
    return fetched > 0;
}

bool PostgresStream::read(int rows, const std::function<void(RowCache::Row&)>& take) {
    const int columns = static_cast<int>(types_.size());
    RowCache::Row row;
    for (int taken = 0; taken < rows; ++taken) {
        if (!batch_ || at_ == PQntuples(batch_.get())) {
            if (ended_ || !receiveFetch()) {
                return false;
            }
        }
        PGresult* batch = batch_.get();
        row.clear();
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            row.append(PQgetisnull(batch, at_, c) ? QVariant()
                                                  : valueOf(PQgetvalue(batch, at_, c),
                                                            PQgetlength(batch, at_, c), types_[c]));
        }
        ++at_;
        take(row);
    }
    return true;
}

}  // namespace tunnel::db
