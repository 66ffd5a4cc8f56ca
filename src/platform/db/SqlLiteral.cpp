#include "platform/db/SqlLiteral.h"

namespace tunnel::db {

QString sqlQuote(const QString& text) {
    QString doubled = text;
    doubled.replace(u'\'', QStringLiteral("''"));
    return u'\'' + doubled + u'\'';
}

}  // namespace tunnel::db
