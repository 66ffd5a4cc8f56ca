#include "platform/db/CopyIn.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/ValueText.h"

#include <libpq-fe.h>

#include <QDateTime>

#include <algorithm>
#include <charconv>

namespace tunnel::db {
namespace {

constexpr qsizetype kSendAt = 1 << 20;

PGconn* pg(void* connection) {
    return static_cast<PGconn*>(connection);
}

// A byte of a text in COPY's text format: backslash, tab and line breaks escaped.
void appendEscaped(QByteArray& line, char c) {
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
    for (const QVariant& value : row) {
        if (value.isNull()) {
            addNull();
        } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
            addNumber(value.toLongLong());
        } else {
            addText(textOf(value));
        }
    }
    endRow();
}

void CopyIn::separate() {
    if (rowStarted_) {
        buffer_ += '\t';
    }
    rowStarted_ = true;
}

void CopyIn::addNull() {
    separate();
    buffer_ += "\\N";
}

void CopyIn::addNumber(qint64 value) {
    separate();
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    buffer_.append(digits, end - digits);
}

void CopyIn::addText(QStringView text) {
    separate();
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 && c != u'\\' && c != u'\t' && c != u'\n' && c != u'\r';
    });
    if (plain) {
        // Written straight into the buffer: most texts are short ASCII with nothing to escape.
        const qsizetype at = buffer_.size();
        buffer_.resize(at + text.size());
        std::transform(text.begin(), text.end(), buffer_.begin() + at,
                       [](QChar c) { return static_cast<char>(c.unicode()); });
        return;
    }
    for (const char c : text.toUtf8()) {
        appendEscaped(buffer_, c);
    }
}

void CopyIn::endRow() {
    buffer_ += '\n';
    rowStarted_ = false;
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
