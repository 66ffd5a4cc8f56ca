#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace tunnel::test {

// A TCP relay in front of the test's PostgreSQL server that can lose the answer to one COMMIT:
// once armed, the first connection that sends COMMIT has it passed on to the server, waits for
// the server's answer, and is then cut on both sides without passing the answer back. The
// server has committed; the client cannot know it.
class CommitCutProxy {
public:
    CommitCutProxy(const QString& host, int port);
    ~CommitCutProxy();
    CommitCutProxy(const CommitCutProxy&) = delete;
    CommitCutProxy& operator=(const CommitCutProxy&) = delete;

    int port() const { return port_; }
    void armCutAtNextCommit() { armed_ = true; }
    bool cut() const { return cut_; }

private:
    void acceptLoop();
    void relay(int client);

    QString host_;
    int serverPort_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> armed_{false};
    std::atomic<bool> cut_{false};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> relays_;
};

}  // namespace tunnel::test
