#include "platform/db/StandbyWatch.h"

#include "platform/db/StandbyJudge.h"

#include <QSqlDatabase>

#include <chrono>

namespace tunnel::db {
namespace {

constexpr std::chrono::seconds kLookInterval{10};

// Qt keeps one registry of connection names per process; the watch's address tells watches
// (and the plug-in's copy of this code from the host's) apart.
QString sessionName(const void* watch) {
    return QStringLiteral("tunnel-standby-watch-%1").arg(reinterpret_cast<quintptr>(watch), 0, 16);
}

}  // namespace

StandbyWatch::StandbyWatch(ConnectionSettings settings, QString host, QString port)
    : settings_(std::move(settings)),
      host_(std::move(host)),
      port_(std::move(port)),
      thread_([this] { watch(); }) {}

StandbyWatch::~StandbyWatch() {
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool StandbyWatch::nextLook() {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, kLookInterval, [this] { return stopped_; });
}

void StandbyWatch::watch() {
    const QString name = sessionName(this);
    {
        QSqlDatabase standby = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        standby.setDatabaseName(settings_.database);
        standby.setUserName(settings_.user);
        standby.setPassword(settings_.password);
        aimPostgres(standby, settings_, host_, port_, QStringLiteral("read-only"), 3);
        StandbyJudge judge(settings_, name + QStringLiteral("-primary"));
        while (nextLook()) {
            current_ = (standby.isOpen() || standby.open()) && judge.isCurrent(standby);
            if (!current_) {
                standby.close();  // opened afresh at the next look
            }
        }
        standby.close();
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace tunnel::db
