#include "tests/support/posix/TricklingServer.h"

#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstring>
#include <new>
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
    void* shared = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        ::close(listener_);
        throw std::runtime_error("cannot share the count of connections");
    }
    connections_ = new (shared) std::atomic<int>(0);
    server_ = ::fork();
    if (server_ == 0) {
        // A test that dies takes its server with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        serve();
    }
    if (server_ < 0) {
        ::munmap(shared, sizeof(std::atomic<int>));
        ::close(listener_);
        throw std::runtime_error("cannot start the server's process");
    }
}

TricklingServer::~TricklingServer() {
    if (server_ > 0) {
        ::kill(server_, SIGKILL);
        ::waitpid(server_, nullptr, 0);
    }
    ::munmap(connections_, sizeof(std::atomic<int>));
    ::close(listener_);
}

void TricklingServer::serve() {
    struct Client {
        int fd;
        std::size_t sent;
    };
    const std::string answer = "HTTP/1.1 200 OK\r\nX-Slowly: ";
    std::vector<Client> clients;
    auto nextByte = std::chrono::steady_clock::now();
    for (;;) {
        pollfd waiting{listener_, POLLIN, 0};
        ::poll(&waiting, 1, 50);
        for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            clients.push_back({fd, 0});
            ++*connections_;
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
}

} // namespace testsupport
