#include "DelayRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tunnel::tools {
namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One direction of a connection: what was read from `from`, waiting to go to `to`.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> held;
    bool closed = false;  // `from` ended; `to` is shut for writing once `held` is out
};

struct Connection {
    Direction up;                 // client to server
    Direction down;               // server to client
    bool heardFromServer = true;  // the client's next chunk starts a round trip
    bool done() const { return up.closed && down.closed && up.held.empty() && down.held.empty(); }
};

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Writes what is due; returns false when the other side is gone.
bool sendDue(Direction& direction, Clock::time_point now) {
    while (!direction.held.empty() && direction.held.front().due <= now) {
        const std::string& bytes = direction.held.front().bytes;
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(direction.to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        direction.held.pop_front();
    }
    if (direction.closed && direction.held.empty()) {
        ::shutdown(direction.to, SHUT_WR);
    }
    return true;
}

}  // namespace

DelayRelay::DelayRelay(std::uint16_t target, std::chrono::milliseconds oneWay)
    : target_(target), oneWay_(oneWay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe(wake_) != 0) {
        throw std::runtime_error("the relay cannot listen on a loopback port");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

DelayRelay::~DelayRelay() {
    const char stop = 0;
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void DelayRelay::run() {
    std::vector<std::unique_ptr<Connection>> connections;
    for (;;) {
        std::vector<pollfd> watched{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        auto next = Clock::time_point::max();
        for (const auto& connection : connections) {
            for (const Direction* direction : {&connection->up, &connection->down}) {
                if (!direction->closed) {
                    watched.push_back({direction->from, POLLIN, 0});
                }
                if (!direction->held.empty()) {
                    next = std::min(next, direction->held.front().due);
                }
            }
        }
        int timeout = -1;
        if (next != Clock::time_point::max()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(wait, 0));
        }
        ::poll(watched.data(), watched.size(), timeout);
        if (watched[0].revents != 0) {
            break;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            const int client = ::accept(listener_, nullptr, nullptr);
            const int server = connectTo(target_);
            if (client >= 0 && server >= 0) {
                const int on = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                auto connection = std::make_unique<Connection>();
                connection->up.from = client;
                connection->up.to = server;
                connection->down.from = server;
                connection->down.to = client;
                connections.push_back(std::move(connection));
                ++connections_;
            } else {
                ::close(client);
                ::close(server);
            }
        }
        const Clock::time_point now = Clock::now();
        for (const auto& connection : connections) {
            for (Direction* direction : {&connection->up, &connection->down}) {
                if (direction->closed) {
                    continue;
                }
                char buffer[65536];
                const ssize_t n = ::recv(direction->from, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    direction->held.push_back({now + oneWay_, std::string(buffer, n)});
                    const bool up = direction == &connection->up;
                    if (up && connection->heardFromServer) {
                        ++roundTrips_;
                    }
                    connection->heardFromServer = !up;
                } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    direction->closed = true;
                }
            }
            for (Direction* direction : {&connection->up, &connection->down}) {
                if (!sendDue(*direction, now)) {
                    connection->up.closed = connection->down.closed = true;
                    connection->up.held.clear();
                    connection->down.held.clear();
                }
            }
        }
        std::erase_if(connections, [](const auto& connection) {
            if (!connection->done()) {
                return false;
            }
            ::close(connection->up.from);
            ::close(connection->down.from);
            return true;
        });
    }
    for (const auto& connection : connections) {
        ::close(connection->up.from);
        ::close(connection->down.from);
    }
}

}  // namespace tunnel::tools
