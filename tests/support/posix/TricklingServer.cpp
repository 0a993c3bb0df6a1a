#include "tests/support/posix/TricklingServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace testsupport {

TricklingServer::TricklingServer(const std::string& path) {
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0) {
        ::close(listener_);
        throw std::runtime_error("cannot listen on " + path);
    }
    thread_ = std::thread([this] { run(); });
}

TricklingServer::~TricklingServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

void TricklingServer::run() {
    struct Client {
        int fd;
        std::size_t sent;
    };
    const std::string answer = "HTTP/1.1 200 OK\r\nX-Slowly: ";
    std::vector<Client> clients;
    auto nextByte = std::chrono::steady_clock::now();
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        ::poll(&waiting, 1, 50);
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            clients.push_back({fd, 0});
            ++connections_;
        }
        if (std::chrono::steady_clock::now() < nextByte) {
            continue;
        }
        nextByte += std::chrono::seconds(1);
        for (Client& client : clients) {
            const char byte = client.sent < answer.size() ? answer[client.sent] : 'a';
            if (::send(client.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) {
                ++client.sent;
            }
        }
    }
    for (const Client& client : clients) {
        ::close(client.fd);
    }
}

} // namespace testsupport
