// A server cut off without a word (a firewall that forgets a station's idle sessions, a machine
// that died): nothing answers, not even a refusal. The station's next statement fails within a
// minute saying the connection is lost, the new session's start it then tries gives up within
// its connect timeout, and once the server is reachable again the next statement opens a session
// afresh. The server runs in a network namespace of its own (scripts/pg-cut-off.sh, started by
// scripts/test.sh where it may make one).
#include "platform/db/Database.h"
#include "platform/db/DbError.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace tunnel;

namespace {

QString cutOffServer() {
    return qEnvironmentVariable("TUNNEL_TEST_PG_CUT");
}

// Runs the link's script with `action` (cut, mend).
bool link(const char* action) {
    const QString command = qEnvironmentVariable("TUNNEL_TEST_PG_CUT_CTL").arg(action);
    return std::system(command.toLocal8Bit().constData()) == 0;
}

// Mends the link after two minutes unless let go before: a statement that waits for ever ends
// then, and the test fails on its figures instead of hanging.
class MendLater {
public:
    MendLater()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              if (!letGo_.wait_for(lock, std::chrono::minutes(2), [this] { return done_; })) {
                  link("mend");
              }
          }) {}
    ~MendLater() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        letGo_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable letGo_;
    bool done_ = false;
    std::thread thread_;
};

// The milliseconds `statement` took on `db` to fail; -1 when it did not.
qint64 msToFail(db::Database& db, const QString& statement, QString& error) {
    QElapsedTimer clock;
    clock.start();
    try {
        db.execute(statement);
    } catch (const db::DbError& failure) {
        error = failure.message();
        return clock.elapsed();
    }
    return -1;
}

TEST(CutOffServer, ASilentServerIsToldWithinAMinuteAndTheSessionOpensAfreshOnceItAnswers) {
    if (cutOffServer().isEmpty()) {
        GTEST_SKIP() << "needs a server in a network namespace of its own (root; "
                        "scripts/pg-cut-off.sh)";
    }
    auto db = db::Database::open(cutOffServer());
    db->execute(QStringLiteral("select 1"));
    ASSERT_TRUE(link("cut"));
    {
        const MendLater mend;
        QString error;
        const qint64 statement = msToFail(*db, QStringLiteral("select 2"), error);
        EXPECT_GE(statement, 0) << "a statement to a silent server succeeded";
        EXPECT_LT(statement, 60'000);
        EXPECT_TRUE(error.contains(QStringLiteral("与数据库的连接已中断"))) << error.toStdString();
        const qint64 reopening = msToFail(*db, QStringLiteral("select 3"), error);
        EXPECT_GE(reopening, 0) << "a session opened to a silent server";
        EXPECT_LT(reopening, 15'000);
    }
    link("mend");
    EXPECT_NO_THROW(db->execute(QStringLiteral("select 4")));
}

}  // namespace
