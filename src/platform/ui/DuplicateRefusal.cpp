#include "platform/ui/DuplicateRefusal.h"

#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/ui/MessageBox.h"

namespace tunnel::ui {

bool executeRefusingDuplicates(db::Query& query, const QString& statement,
                               const DuplicateMessage& duplicate) {
    query.setSql(statement);
    try {
        query.execute();
    } catch (const db::DbError& error) {
        query.close();
        if (!error.isUniqueViolation()) {
            throw;
        }
        messageBox(duplicate.text, duplicate.caption, duplicate.flags);
        return false;
    }
    query.close();
    return true;
}

}  // namespace tunnel::ui
