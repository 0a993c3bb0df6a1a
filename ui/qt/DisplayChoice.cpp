#include "ui/qt/DisplayChoice.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ui::qt {
namespace {

// Whether a stream socket of that address takes a connection.
bool answers(int family, const sockaddr* address, socklen_t length) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool connected = ::connect(fd, address, length) == 0;
    ::close(fd);
    return connected;
}

bool localSocketAnswers(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + 1);
    return answers(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length);
}

bool tcpAnswers(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    bool connected = false;
    for (const addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
        connected = answers(a->ai_family, a->ai_addr, a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    return connected;
}

// Whether the X display named as in DISPLAY ([host]:number[.screen], unix:number, or the path
// of a socket) answers.
bool xDisplayAnswers(const std::string& display) {
    if (!display.empty() && display.front() == '/') {
        return localSocketAnswers(display.substr(0, display.rfind(':')), false);
    }
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    const int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        return localSocketAnswers(socket, true) || localSocketAnswers(socket, false);
    }
    return tcpAnswers(host, 6000 + number);
}

bool waylandAnswers(const std::string& display) {
    if (!display.empty() && display.front() == '/') {
        return localSocketAnswers(display, false);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && localSocketAnswers(std::string(runtime) + "/" + display, false);
}

// Qt's own handler, which the notes that are not dropped go to.
QtMessageHandler qtHandler = nullptr;

void dropHeadlessNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
        text.contains(QLatin1String("systemTrayWindowChanged"))) {
        return;
    }
    qtHandler(type, context, text);
}

} // namespace

void chooseQtPlatform() {
    if (std::getenv("QT_QPA_PLATFORM") != nullptr) {
        return;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x = std::getenv("DISPLAY");
    const char* platform = wayland != nullptr && waylandAnswers(wayland) ? "wayland"
                           : x != nullptr && xDisplayAnswers(x)          ? "xcb"
                                                                         : "offscreen";
    setenv("QT_QPA_PLATFORM", platform, 1);
}

void quietenHeadlessNotes() {
    qtHandler = qInstallMessageHandler(dropHeadlessNotes);
}

} // namespace ui::qt
