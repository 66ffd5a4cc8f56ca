#include "platform/db/SideSession.h"

#include "platform/db/Database.h"

namespace tunnel::db {

SideSession::SideSession(const QString& connectionString, std::function<void(Database&)> work)
    : done_(std::async(std::launch::async, [connectionString, work = std::move(work)] {
          const std::shared_ptr<Database> session = Database::open(connectionString);
          work(*session);
      })) {}

SideSession::~SideSession() {
    if (done_.valid()) {
        done_.wait();
    }
}

void SideSession::finish() {
    done_.get();
}

}  // namespace tunnel::db
