#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tunnel::tools {

// A loopback TCP relay that holds every chunk for a set time in each direction, as a wide-area
// link would, and counts the round trips the client makes: each time it sends after having
// heard from the server (or first), one. What a window costs a station far from its server is
// then measured on one machine, and counted exactly whatever the machine's load.
class DelayRelay {
public:
    // Listens on a free loopback port and relays each connection to 127.0.0.1:`target`.
    DelayRelay(std::uint16_t target, std::chrono::milliseconds oneWay);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    std::uint16_t port() const { return port_; }
    long long roundTrips() const { return roundTrips_; }
    // Connections relayed so far (each costs the round trips of a session's start).
    long long connections() const { return connections_; }

private:
    void run();

    std::uint16_t target_;
    std::chrono::milliseconds oneWay_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};  // a pipe that ends the relay's loop
    std::uint16_t port_ = 0;
    std::atomic<long long> roundTrips_{0};
    std::atomic<long long> connections_{0};
    std::thread thread_;
};

}  // namespace tunnel::tools
