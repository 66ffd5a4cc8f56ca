#include "platform/db/SideSession.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"

namespace tunnel::db {

SideSession::SideSession(const QString& connectionString, std::function<void(Database&)> work)
    : work_(std::move(work)), done_(std::async(std::launch::async, [this, connectionString] {
          std::shared_ptr<Database> session;
          try {
              session = Database::open(connectionString);
          } catch (const DbError&) {
              return false;
          }
          work_(*session);
          return true;
      })) {}

SideSession::~SideSession() {
    if (done_.valid()) {
        done_.wait();
    }
}

void SideSession::finish(Database& caller) {
    if (!done_.get()) {
        work_(caller);
    }
}

}  // namespace tunnel::db
