#include "platform/db/SqlLiteral.h"

namespace tunnel::db {

QString sqlQuote(const QString& text) {
    QString doubled = text;
    doubled.replace(u'\'', QStringLiteral("''"));
    return u'\'' + doubled + u'\'';
}

QString likeContaining(const QString& text) {
    QString escaped = text.toUpper();
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'%', QStringLiteral("\\%"));
    escaped.replace(u'_', QStringLiteral("\\_"));
    return sqlQuote(u'%' + escaped + u'%') + QStringLiteral(" ESCAPE '\\'");
}

}  // namespace tunnel::db
