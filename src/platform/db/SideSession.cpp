#include "platform/db/SideSession.h"

#include "platform/db/Database.h"

namespace tunnel::db {

SideSession::SideSession(const QString& connectionString, std::function<void(Database&)> work)
    : work_(std::move(work)),
      session_(connectionString),
      done_(std::async(std::launch::async, [this]() -> std::optional<DbError> {
          struct GiveBack {
              LentSession& session;
              ~GiveBack() { session.giveBack(); }
          } giveBack{session_};
          Database* session = nullptr;
          try {
              session = &session_.take();
          } catch (const DbError& refused) {
              return refused;
          }
          work_(*session);
          return std::nullopt;
      })) {
    session_.handOver();
}

SideSession::~SideSession() {
    if (done_.valid()) {
        done_.wait();
    }
}

bool SideSession::ready() const {
    return done_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void SideSession::finish(Database& caller) {
    if (done_.get()) {
        work_(caller);
    }
}

void SideSession::finish() {
    if (const std::optional<DbError> refused = done_.get()) {
        throw *refused;
    }
}

}  // namespace tunnel::db
