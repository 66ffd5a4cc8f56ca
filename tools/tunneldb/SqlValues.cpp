#include "SqlValues.h"

#include "platform/db/ValueText.h"

namespace tunnel::tools {

QString dateTimeValue(const QDateTime& when, db::Engine engine) {
    // SQL Server reads yyyy-mm-dd hh:mm:ss by the session's language; the T form it never
    // misreads. SQLite keeps the text as it stands, so it gets the stored form.
    return db::storedTimeText(when, engine == db::Engine::SqlServer ? u'T' : u' ');
}

}  // namespace tunnel::tools
