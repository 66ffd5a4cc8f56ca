#include "SqlValues.h"

namespace tunnel::tools {

QString dateTimeValue(const QDateTime& when, db::Engine engine) {
    // SQL Server reads yyyy-mm-dd hh:mm:ss by the session's language; the T form it never
    // misreads. SQLite keeps the text as it stands, so it gets the stored form.
    const QString format = engine == db::Engine::SqlServer
                               ? QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")
                               : QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
    return when.toString(format);
}

}  // namespace tunnel::tools
