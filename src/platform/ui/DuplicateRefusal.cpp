#include "platform/ui/DuplicateRefusal.h"

#include "platform/db/DbError.h"
#include "platform/ui/MessageBox.h"

namespace tunnel::ui {

bool refusingDuplicates(const std::function<bool()>& write, const DuplicateMessage& duplicate) {
    try {
        return write();
    } catch (const db::DbError& error) {
        if (!error.isUniqueViolation()) {
            throw;
        }
    }
    messageBox(duplicate.text, duplicate.caption, duplicate.flags);
    return false;
}

}  // namespace tunnel::ui
