#include "platform/ui/ErrorReport.h"

#include "platform/db/DbError.h"
#include "platform/ui/MessageBox.h"

#include <exception>

namespace tunnel::ui {

void reportError(const QString& text) {
    messageBox(text, applicationTitle(), mb::IconStop);
}

bool reportErrors(void (*handler)(void*), void* context) noexcept {
    try {
        try {
            handler(context);
            return true;
        } catch (const db::DbError& error) {
            reportError(error.report());
        } catch (const std::exception& error) {
            reportError(QString::fromUtf8(error.what()));
        }
    } catch (...) {
        // Showing the report itself failed; the handler has ended all the same.
    }
    return false;
}

}  // namespace tunnel::ui
