#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;  // bytes of request line and headers read at most
constexpr size_t kPiece = 1000;                // bytes of body per send, and per chunk when chunked
constexpr int kDrainMs = 2000;                 // how long a closing connection waits for the client's end

std::string trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    const size_t end = text.find_last_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, end + 1 - begin);
}

std::string percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool readRequest(int fd, LoopbackRequest& request) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = head.size() < kMaxRequestHead ? ::recv(fd, buffer, sizeof buffer, 0) : 0;
        if (got <= 0) return false;
        head.append(buffer, static_cast<size_t>(got));
    }
    std::istringstream lines(head.substr(0, head.find("\r\n\r\n")));
    std::getline(lines, request.requestLine);
    request.requestLine = trim(request.requestLine);
    std::istringstream(request.requestLine) >> request.method >> request.target;
    for (std::string line; std::getline(lines, line);) {
        const std::string value = trim(line.substr(line.find(':') + 1));
        if (::strncasecmp(line.c_str(), "user-agent:", 11) == 0) request.userAgent = value;
        if (::strncasecmp(line.c_str(), "host:", 5) == 0) request.host = value;
    }
    return !request.method.empty();
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

}  // namespace

LoopbackResponse LoopbackResponse::ok(std::string body, std::string contentType) {
    LoopbackResponse response;
    response.body = std::move(body);
    response.headers.emplace_back("Content-Type", std::move(contentType));
    return response;
}

LoopbackResponse LoopbackResponse::withStatus(int code, std::string reason, std::string body) {
    LoopbackResponse response;
    response.status = code;
    response.reason = std::move(reason);
    response.body = std::move(body);
    return response;
}

LoopbackResponse LoopbackResponse::redirect(int code, std::string location) {
    LoopbackResponse response;
    response.status = code;
    response.reason = code == 301 ? "Moved Permanently" : code == 303 ? "See Other" : "Found";
    response.headers.emplace_back("Location", std::move(location));
    return response;
}

bool LoopbackServer::start() {
    if (acceptor_.joinable()) return true;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    stopping_ = false;
    acceptor_ = std::thread([this] { acceptLoop(); });
    return true;
}

void LoopbackServer::stop() {
    if (!acceptor_.joinable()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    // Wakes connections blocked in recv or send, and those waiting for the stop.
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    changed_.notify_all();
    lock.unlock();
    ::shutdown(listenFd_, SHUT_RDWR);  // Linux wakes a blocked accept with an error
    acceptor_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    // Connection threads are detached: each leaves the server alone once its fd is gone.
    lock.lock();
    changed_.wait(lock, [&] { return openFds_.empty(); });
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::route(const std::string& target, LoopbackResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[target] = std::move(response);
}

void LoopbackServer::serveDirectory(const std::string& root) {
    std::lock_guard<std::mutex> lock(mutex_);
    root_ = root;
}

size_t LoopbackServer::requestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

size_t LoopbackServer::requestCount(const std::string& target) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                              [&](const LoopbackRequest& r) { return r.target == target; }));
}

std::vector<LoopbackRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

LoopbackRequest LoopbackServer::lastRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? LoopbackRequest{} : requests_.back();
}

void LoopbackServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            if (fd >= 0) ::close(fd);
            return;
        }
        if (fd < 0) continue;
        openFds_.insert(fd);
        std::thread([this, fd] { serveConnection(fd); }).detach();
    }
}

void LoopbackServer::serveConnection(int fd) {
    LoopbackRequest request;
    if (readRequest(fd, request)) {
        const LoopbackResponse response = lookUp(request.target);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        if (response.neverAnswer) {
            waitForStop();
        } else {
            answer(fd, response);
        }
    }
    // Half-close first and let the client read to the end: closing with its bytes
    // still unread here could turn the close into a reset that loses the answer.
    ::shutdown(fd, SHUT_WR);
    char scratch[4096];
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, kDrainMs) > 0 && ::recv(fd, scratch, sizeof scratch, 0) > 0) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    openFds_.erase(fd);
    ::close(fd);
    changed_.notify_all();
}

void LoopbackServer::waitForStop() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopping_; });
}

LoopbackResponse LoopbackServer::lookUp(const std::string& target) const {
    const std::string path = target.substr(0, target.find_first_of("?#"));
    std::filesystem::path file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& key : {target, path}) {
            const auto found = routes_.find(key);
            if (found != routes_.end()) return found->second;
        }
        if (!root_.empty()) file = root_ + percentDecode(path);
    }
    const LoopbackResponse missing =
        LoopbackResponse::withStatus(404, "Not Found", "<html><body>Not Found</body></html>");
    if (file.empty() || path.find("..") != std::string::npos) return missing;
    if (std::filesystem::is_directory(file)) file /= "index.html";
    std::ifstream in(file, std::ios::binary);
    if (!in) return missing;
    std::ostringstream content;
    content << in.rdbuf();
    const std::string extension = file.extension().string();
    return LoopbackResponse::ok(content.str(),
                                extension == ".html" || extension == ".htm" ? "text/html" : "application/octet-stream");
}

void LoopbackServer::answer(int fd, const LoopbackResponse& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    if (response.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (!response.endless) {
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    if (!sendAll(fd, head)) return;
    if (response.endless) {
        const std::string block(16 * kPiece, 'a');
        while (sendAll(fd, block)) {
        }
        return;
    }

    // The body goes out piece by piece so that a cut can fall anywhere, mid-chunk too.
    const std::string_view body = response.body;
    const long long cutAt = response.stallAfterBodyBytes >= 0 ? response.stallAfterBodyBytes : response.closeAfterBodyBytes;
    const size_t limit = cutAt >= 0 ? std::min(body.size(), static_cast<size_t>(cutAt)) : body.size();
    for (size_t offset = 0; offset < body.size(); offset += kPiece) {
        const size_t piece = std::min(kPiece, body.size() - offset);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece);
        if (response.chunked && !sendAll(fd, size)) return;
        const size_t send = std::min(piece, limit - offset);
        if (!sendAll(fd, body.substr(offset, send))) return;
        if (send < piece) {
            if (response.stallAfterBodyBytes >= 0) waitForStop();
            return;
        }
        if (response.chunked && !sendAll(fd, "\r\n")) return;
    }
    if (response.chunked) sendAll(fd, "0\r\n\r\n");
}
