#pragma once

#include <QString>

namespace tunnel::db {
class Query;
}

namespace tunnel::ui {

// The user's own message for a refusal by a unique key, shown in a box.
struct DuplicateMessage {
    QString text;
    QString caption;
    unsigned flags;
};

// Executes `statement` on `query`. A refusal by a unique key is the user's to mend: it shows
// `duplicate` and returns false. Any other failure is the database's and goes on to the default
// error report with its own text (a DbError leaves the call).
bool executeRefusingDuplicates(db::Query& query, const QString& statement,
                               const DuplicateMessage& duplicate);

}  // namespace tunnel::ui
