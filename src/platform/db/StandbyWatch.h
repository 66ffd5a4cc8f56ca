#pragma once

#include "platform/db/ConnectionString.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tunnel::db {

// Judges, every ten seconds on a thread of its own, whether the standby a session reads from
// is still current enough: a window stays open for hours and a standby may fall behind
// meanwhile, but a read should not wait for the two round trips a judgement costs. The session
// asks the last verdict, which costs nothing.
class StandbyWatch {
public:
    // Watches the standby at `host`:`port` (the one the session reached) of `settings`.
    StandbyWatch(ConnectionSettings settings, QString host, QString port);
    // Stops the watch; waits for a judgement under way (a few seconds at most).
    ~StandbyWatch();
    StandbyWatch(const StandbyWatch&) = delete;
    StandbyWatch& operator=(const StandbyWatch&) = delete;

    // The last verdict: current until a judgement says otherwise.
    bool current() const { return current_.load(); }

private:
    void watch();
    // Waits for the next look; false when the watch is stopped.
    bool nextLook();

    ConnectionSettings settings_;
    QString host_;
    QString port_;
    std::atomic<bool> current_{true};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::thread thread_;
};

}  // namespace tunnel::db
