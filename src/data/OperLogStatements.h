#pragma once

#include "platform/db/KeysetSql.h"

#include <QDate>
#include <QString>

#include <optional>

namespace tunnel::data {

// What the operation log window asks for: whole days, a text anywhere in the station, the
// operator, the row's key or the before and after texts (case-insensitive), a table (empty:
// every table), and one row's exact key (empty: any row).
struct OperLogFilter {
    QDate begin;
    QDate end;
    QString text;
    QString table;
    QString rowKey = {};
};

// `candidates`: a condition that narrows the text's rows beforehand (logSearchCandidates).
QString operLogStatement(const OperLogFilter& filter,
                         const std::optional<QString>& candidates = std::nullopt);
db::GridOrder operLogOrder();  // newest first

// The tables the window's table list offers, with their words; "所有" first.
struct LoggedTable {
    QString word;
    QString table;
};
const QVector<LoggedTable>& loggedTables();

// What the window column shows for a logged function code.
QString funcCodeText(int code);

// Rows logged before `day`, oldest first, for archiving.
QString operLogBeforeStatement(const QDate& day);

}  // namespace tunnel::data
