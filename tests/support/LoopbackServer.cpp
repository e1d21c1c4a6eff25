// The scripted HTTP/1.1 server on 127.0.0.1: one thread, one connection at a time.
#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

static bool sendAll(int fd, std::string_view data) {
    for (ssize_t sent = 0; !data.empty(); data.remove_prefix(static_cast<size_t>(sent))) {
        if ((sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL)) <= 0) return false;
    }
    return true;
}

bool LoopbackServer::start() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
        for (int fd; (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0 && !stopping_;) {
            connectionFd_ = fd;
            if (!stopping_) serve(fd);  // stop() may have come before the fd was known
            connectionFd_ = -1;
            ::close(fd);
        }
    });
    return true;
}

void LoopbackServer::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);  // wakes the blocked accept
    if (const int fd = connectionFd_; fd >= 0) ::shutdown(fd, SHUT_RDWR);  // and a blocked recv or send
    thread_.join();
    ::close(listenFd_);
}

void LoopbackServer::route(const Route& route) { std::lock_guard lock(mutex_); routes_[route.path] = route; }
void LoopbackServer::serveDirectory(const std::string& root) { std::lock_guard lock(mutex_); root_ = root; }
size_t LoopbackServer::requestCount() const { std::lock_guard lock(mutex_); return requests_.size(); }
std::string LoopbackServer::lastRequest() const { std::lock_guard lock(mutex_); return requests_.empty() ? "" : requests_.back(); }

void LoopbackServer::serve(int fd) {
    std::string head;
    char buffer[4096];
    for (ssize_t got; head.find("\r\n\r\n") == std::string::npos; head.append(buffer, static_cast<size_t>(got))) {
        if ((got = ::recv(fd, buffer, sizeof buffer, 0)) <= 0) return;
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    const size_t agent = head.find("\r\nUser-Agent: "), from = line.find(' ') + 1;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(line + " from " +
                            (agent == std::string::npos ? "" : head.substr(agent + 14, head.find("\r\n", agent + 2) - agent - 14)));
    }
    answer(fd, lookUp(line.substr(from, line.find(' ', from) - from)));
}

Route LoopbackServer::lookUp(const std::string& target) {
    std::string file;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = routes_.find(target); found != routes_.end()) {
            Route route = found->second;
            if (route.strikes >= 0 && struck_[target]++ >= route.strikes) route.fault = Fault::NoFault;
            return route;
        }
        if (!root_.empty() && target.find("..") == std::string::npos) file = root_ + target.substr(0, target.find('?'));
    }
    if (std::filesystem::is_directory(file)) file += "/index.html";
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in && !file.empty() ? Route{.body = content.str()}
                               : Route{.status = 404, .reason = "Not Found", .body = "<html><body>Not Found</body></html>"};
}

void LoopbackServer::answer(int fd, const Route& route) {
    const Fault fault = route.fault;
    if (fault == Fault::NeverAnswer && waitForStop(fd, -1)) return;
    std::string head = fault == Fault::RawStatusLine ? route.reason + "\r\n"
                                                     : "HTTP/1.1 " + std::to_string(route.status) + " " + route.reason + "\r\n";
    if (!route.location.empty()) head += "Location: " + route.location + "\r\n";
    if (fault == Fault::Chunked) head += "Transfer-Encoding: chunked\r\n";
    if (fault != Fault::Chunked && fault != Fault::Endless) head += "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
    head += fault == Fault::Stall ? "\r\n" : "Connection: close\r\n\r\n";
    if (!sendAll(fd, fault == Fault::NoStatusLine ? "" : head)) return;
    for (size_t at = 0; fault == Fault::Drip && at < route.body.size(); ++at) {
        if (!sendAll(fd, route.body.substr(at, 1)) || waitForStop(fd, kDripMs)) return;
    }

    const bool cuts = fault == Fault::Cut || fault == Fault::Reset || fault == Fault::Stall || fault == Fault::Drip;
    const std::string_view body = std::string_view(route.body).substr(0, cuts ? route.faultAt : std::string::npos);
    const size_t piece = 1000;  // so that a cut can fall anywhere, mid-chunk too
    const std::string endless(16000, 'a');
    for (size_t at = 0; at < body.size() || fault == Fault::Endless; at += piece) {
        const std::string_view part = fault == Fault::Endless ? endless : body.substr(at, piece);
        std::ostringstream size;
        size << std::hex << part.size() << "\r\n";
        if (fault == Fault::Chunked && !sendAll(fd, size.str())) return;
        if (!sendAll(fd, part) || (fault == Fault::Chunked && !sendAll(fd, "\r\n"))) return;
    }
    if (fault == Fault::Chunked) sendAll(fd, "0\r\n\r\n");
    if (fault == Fault::Reset) {
        ::usleep(100 * 1000);  // lets the client read what came before the reset throws it away
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return;
    }
    // Half-close, and let the client read to the end: closing with its bytes unread here
    // would turn the close into a reset that can lose the answer.
    if (fault != Fault::Stall) ::shutdown(fd, SHUT_WR);
    waitForStop(fd, -1);
}

// Waits up to `ms` (-1: for ever); true when the server stops or the client hangs up first.
bool LoopbackServer::waitForStop(int fd, int ms) {
    char scratch[4096];
    for (int waited = 0; ms < 0 || waited < ms; waited += 50) {
        if (stopping_) return true;
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) > 0 && ::recv(fd, scratch, sizeof scratch, 0) <= 0) return true;
    }
    return false;
}
