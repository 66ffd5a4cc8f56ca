#include "platform/db/SessionPool.h"

#include "platform/db/Database.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <unordered_map>
#include <utility>
#include <vector>

namespace tunnel::db::sessionPool {
namespace {

constexpr int kKeptAConnectionString = 4;
// Longer than an operator takes between two windows; shorter than a server's or a firewall's
// patience with an idle session.
constexpr std::chrono::minutes kKeptFor{5};

struct Kept {
    std::unique_ptr<Database> session;
    QDeadlineTimer until;
};

using KeptSessions = std::unordered_map<QString, std::vector<Kept>>;

// Made when a first session is kept and gone again with closeAll(), never with the program's
// statics (a session closed after Qt's SQL drivers are gone would crash; the application's
// end and the module's unload close them first).
KeptSessions* keptSessions = nullptr;

// The application whose end closes what is kept, while the drivers are still there; none
// while nothing is kept (the module may be unloaded before the application ends).
QCoreApplication* closingApplication = nullptr;

void closeWithTheApplication() {
    if (closingApplication != QCoreApplication::instance()) {
        closingApplication = QCoreApplication::instance();
        qAddPostRoutine(&closeAll);
    }
}

}  // namespace

bool onApplicationThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::unique_ptr<Database> take(const QString& connectionString) {
    if (!onApplicationThread()) {
        return nullptr;
    }
    if (keptSessions == nullptr) {
        return nullptr;
    }
    auto found = keptSessions->find(connectionString);
    if (found == keptSessions->end()) {
        return nullptr;
    }
    std::vector<Kept>& sessions = found->second;
    while (!sessions.empty()) {
        Kept last = std::move(sessions.back());
        sessions.pop_back();
        if (!last.until.hasExpired() && last.session->stillConnected()) {
            last.session->handOver();
            return std::move(last.session);
        }
    }
    return nullptr;
}

void giveBack(const QString& connectionString, std::unique_ptr<Database> session) {
    // A session for reads from a standby is judged as it opens (is the standby current?): it
    // is opened afresh each time.
    if (session->engine() == Engine::SQLite || session->settings().readsFromStandby ||
        !onApplicationThread() || session->thread() != QThread::currentThread() ||
        session->isLost()) {
        return;
    }
    session->finishResults();
    if (session->inTransaction()) {
        session->rollback();
    }
    if (keptSessions == nullptr) {
        keptSessions = new KeptSessions;
    }
    std::vector<Kept>& sessions = (*keptSessions)[connectionString];
    if (static_cast<int>(sessions.size()) >= kKeptAConnectionString) {
        return;
    }
    closeWithTheApplication();
    sessions.push_back({std::move(session), QDeadlineTimer(kKeptFor)});
}

void closeAll() {
    delete std::exchange(keptSessions, nullptr);
    if (closingApplication != nullptr) {
        qRemovePostRoutine(&closeAll);
        closingApplication = nullptr;
    }
}

}  // namespace tunnel::db::sessionPool
