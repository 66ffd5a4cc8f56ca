#include "platform/ui/ErrorReport.h"

#include "platform/db/DbError.h"
#include "platform/ui/MessageBox.h"

#include <exception>

namespace tunnel::ui {

void reportError(const QString& text, const QString& details) {
    messageBox(MessageRequest{text, applicationTitle(), mb::IconStop, nullptr, details});
}

bool reportErrors(void (*handler)(void*), void* context) noexcept {
    try {
        try {
            handler(context);
            return true;
        } catch (const db::DbError& error) {
            reportError(error.message(), error.statement());
        } catch (const std::exception& error) {
            reportError(QString::fromUtf8(error.what()));
        }
    } catch (...) {
        // Showing the report itself failed; the handler has ended all the same.
    }
    return false;
}

}  // namespace tunnel::ui
