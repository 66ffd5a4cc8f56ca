#include "platform/db/DbError.h"

namespace tunnel::db {
namespace {

QString composeReport(const QString& message, const QString& statement) {
    if (statement.isEmpty()) {
        return message;
    }
    return message + QStringLiteral("\n\n") + statement;
}

}  // namespace

DbError::DbError(const QString& message, const QString& nativeCode, bool uniqueViolation,
                 const QString& statement, bool busy)
    : std::runtime_error(composeReport(message, statement).toStdString()),
      message_(message),
      nativeCode_(nativeCode),
      uniqueViolation_(uniqueViolation),
      statement_(statement),
      busy_(busy) {}

QString DbError::report() const {
    return composeReport(message_, statement_);
}

}  // namespace tunnel::db
