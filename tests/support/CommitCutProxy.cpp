#include "support/CommitCutProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace tunnel::test {
namespace {

std::mutex relaysMutex;

sockaddr_in addressOf(const QString& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host == u"localhost" ? "127.0.0.1" : host.toLatin1().constData(),
              &address.sin_addr);
    return address;
}

bool sendAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= sent;
    }
    return true;
}

}  // namespace

CommitCutProxy::CommitCutProxy(const QString& host, int port) : host_(host), serverPort_(port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = addressOf(QStringLiteral("127.0.0.1"), 0);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        throw std::runtime_error("the proxy cannot listen");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

CommitCutProxy::~CommitCutProxy() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    std::lock_guard<std::mutex> lock(relaysMutex);
    for (std::thread& relay : relays_) {
        relay.join();
    }
}

void CommitCutProxy::acceptLoop() {
    while (!stopping_) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) {
            return;
        }
        std::lock_guard<std::mutex> lock(relaysMutex);
        relays_.emplace_back([this, client] { relay(client); });
    }
}

void CommitCutProxy::relay(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = addressOf(host_, serverPort_);
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        ::close(server);
        return;
    }
    pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    char buffer[65536];
    bool open = true;
    while (open && !stopping_) {
        if (::poll(ends, 2, 100) <= 0) {
            continue;
        }
        for (int side = 0; side < 2 && open; ++side) {
            if ((ends[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t size = ::recv(ends[side].fd, buffer, sizeof buffer, 0);
            const int other = ends[1 - side].fd;
            open = size > 0 && sendAll(other, buffer, size);
            const bool commit =
                side == 0 && size > 0 &&
                std::string_view(buffer, static_cast<size_t>(size)).find("COMMIT") !=
                    std::string_view::npos;
            if (open && commit && armed_.exchange(false)) {
                pollfd answer{server, POLLIN, 0};
                if (::poll(&answer, 1, 5000) > 0) {
                    ::recv(server, buffer, sizeof buffer, 0);  // the answer, dropped
                }
                cut_ = true;
                open = false;
            }
        }
    }
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(server, SHUT_RDWR);
    ::close(client);
    ::close(server);
}

}  // namespace tunnel::test
