#include "platform/db/CopyIn.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <libpq-fe.h>

#include <QDateTime>

namespace tunnel::db {
namespace {

constexpr qsizetype kSendAt = 1 << 20;

PGconn* pg(void* connection) {
    return static_cast<PGconn*>(connection);
}

// A value in COPY's text format: \N for NULL, backslash, tab and line breaks escaped.
void appendValue(QByteArray& line, const QVariant& value) {
    if (value.isNull()) {
        line += "\\N";
        return;
    }
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            line += QByteArray::number(value.toLongLong());
            return;
        default:
            break;
    }
    const QByteArray text = textOf(value).toUtf8();
    for (const char c : text) {
        switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            default:
                line += c;
        }
    }
}

QString serverText(PGconn* connection) {
    return QString::fromUtf8(PQerrorMessage(connection)).trimmed();
}

}  // namespace

CopyIn::CopyIn(Database& db, const QString& table, const QStringList& columns)
    : connection_(db.postgresConnection()),
      statement_(QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(u','))) {
    if (connection_ == nullptr) {
        throw DbError(QStringLiteral("COPY needs a PostgreSQL connection."), {}, false, statement_);
    }
    PGresult* result = PQexec(pg(connection_), statement_.toUtf8().constData());
    const bool started = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    if (!started) {
        throw DbError(serverText(pg(connection_)), {}, false, statement_);
    }
    open_ = true;
}

CopyIn::~CopyIn() {
    if (open_) {
        PQputCopyEnd(pg(connection_), "cancelled");
        while (PGresult* result = PQgetResult(pg(connection_))) {
            PQclear(result);
        }
    }
}

void CopyIn::add(const QVariantList& row) {
    for (qsizetype i = 0; i < row.size(); ++i) {
        if (i > 0) {
            buffer_ += '\t';
        }
        appendValue(buffer_, row[i]);
    }
    buffer_ += '\n';
    if (buffer_.size() >= kSendAt) {
        send();
    }
}

void CopyIn::send() {
    if (!buffer_.isEmpty() && PQputCopyData(pg(connection_), buffer_.constData(),
                                            static_cast<int>(buffer_.size())) != 1) {
        throw DbError(serverText(pg(connection_)), {}, false, statement_);
    }
    buffer_.clear();
}

void CopyIn::finish() {
    send();
    open_ = false;
    if (PQputCopyEnd(pg(connection_), nullptr) != 1) {
        throw DbError(serverText(pg(connection_)), {}, false, statement_);
    }
    QString refused;
    while (PGresult* result = PQgetResult(pg(connection_))) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK) {
            refused = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        }
        PQclear(result);
    }
    if (!refused.isEmpty()) {
        throw DbError(refused, {}, false, statement_);
    }
}

}  // namespace tunnel::db
