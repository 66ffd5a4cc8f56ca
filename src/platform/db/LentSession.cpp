#include "platform/db/LentSession.h"

#include "platform/db/Database.h"

#include <QThread>

namespace tunnel::db {

LentSession::LentSession(QString connectionString)
    : connectionString_(std::move(connectionString)),
      session_(Database::kept(connectionString_)),
      lending_(session_ != nullptr),
      owner_(QThread::currentThread()) {}

// Released here, on the owner's thread: kept for the next window where the pool keeps it.
LentSession::~LentSession() = default;

void LentSession::handOver() {
    if (!lending_) {
        return;
    }
    if (!session_->moveToThread(worker_.get_future().get())) {
        session_.reset();  // the worker opens a session of its own
    }
    lent_.set_value();
}

Database& LentSession::take() {
    if (lending_) {
        worker_.set_value(QThread::currentThread());
        lent_.get_future().wait();
    }
    if (!session_) {
        session_ = Database::open(connectionString_);
    }
    return *session_;
}

void LentSession::giveBack() {
    if (session_ && !session_->moveToThread(owner_)) {
        session_.reset();
    }
}

}  // namespace tunnel::db
