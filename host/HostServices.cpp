#include "HostServices.h"

#include "HostFiles.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/text/Gbk.h"
#include "platform/ui/ErrorReport.h"

#include <QDateTime>
#include <QDir>

#include <cstdio>

namespace tunnel::host {

HostServices& HostServices::instance() {
    static HostServices services;
    return services;
}

void HostServices::setConnectionString(const QString& connectionString) {
    connectionString_ = connectionString;
    db_.reset();
}

void HostServices::setWorkPath(const QString& path) {
    workPath_ = path;
    workPathGbk_ = text::toGbk(QDir::toNativeSeparators(path));
}

bool HostServices::executeStatement(const QString& statement) {
    log(QStringLiteral("statement from the plug-in: ") + statement);
    return ui::guarded([&] {
        if (!db_)
            db_ = db::Database::open(connectionString_);
        db_->execute(statement);
    });
}

void HostServices::log(const QString& line) {
    const QString stamped =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + line;
    std::fprintf(stderr, "%s\n", stamped.toLocal8Bit().constData());
    if (workPath_.isEmpty())
        return;
    appendToLog(QDir(workPath_).filePath(QStringLiteral("tunnelhost.log")), stamped);
}

}  // namespace tunnel::host
