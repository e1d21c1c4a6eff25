#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;  // bytes of request line and headers read at most
constexpr size_t kGenerateBlock = 16 * 1024;   // bytes written per send of a generated body
constexpr int kDrainMs = 2000;                 // how long a closing connection waits for the client's end

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    return text.substr(begin, end - begin);
}

std::string withoutQuery(const std::string& target) {
    const size_t mark = target.find_first_of("?#");
    return mark == std::string::npos ? target : target.substr(0, mark);
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

const char* contentTypeFor(const std::string& path) {
    const size_t dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : lowerCase(path.substr(dot + 1));
    if (extension == "html" || extension == "htm") return "text/html";
    if (extension == "txt") return "text/plain";
    if (extension == "css") return "text/css";
    if (extension == "png") return "image/png";
    if (extension == "jpg" || extension == "jpeg") return "image/jpeg";
    if (extension == "gif") return "image/gif";
    return "application/octet-stream";
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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
    response.redirectTo = std::move(location);
    return response;
}

LoopbackServer::LoopbackServer() = default;

LoopbackServer::~LoopbackServer() { stop(); }

bool LoopbackServer::start() {
    if (acceptor_.joinable()) return true;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) return false;
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    const int yes = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listenFd_);
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    ::close(wakeWrite_);  // every poll on the read end now sees a hang-up
    wakeWrite_ = -1;
    acceptor_.join();
    {
        // Unblocks connections waiting in recv or send.
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    }
    std::list<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers) worker.thread.join();
    ::close(listenFd_);
    listenFd_ = -1;
    ::close(wakeRead_);
    wakeRead_ = -1;
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

bool LoopbackServer::waitForRequests(size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_.size() >= count; });
}

bool LoopbackServer::waitForIdle(int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return activeConnections_ == 0; });
}

uint16_t LoopbackServer::unusedPort() {
    // Bound but never listening: the kernel refuses connections to it, and will not
    // hand the port out again while this process runs its few tests.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

void LoopbackServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0 || stopping_) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;

        reapFinishedWorkers();
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.insert(fd);
        ++activeConnections_;
        auto finished = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back(Worker{std::thread([this, fd, finished] {
                                      serveConnection(fd);
                                      *finished = true;
                                  }),
                                  finished});
    }
}

void LoopbackServer::reapFinishedWorkers() {
    std::list<Worker> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (*it->finished) {
                done.splice(done.end(), workers_, it++);
            } else {
                ++it;
            }
        }
    }
    for (Worker& worker : done) worker.thread.join();
}

void LoopbackServer::serveConnection(int fd) {
    LoopbackRequest request;
    if (readRequest(fd, request)) {
        const LoopbackResponse response = lookUp(request.target);
        size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            index = requests_.size() - 1;
        }
        changed_.notify_all();
        if (response.neverAnswer) {
            waitForStop();
        } else {
            answer(fd, index, response);
        }
    }

    // Half-close first and let the client read to the end: closing with its bytes
    // still unread here could turn the close into a reset that loses the answer.
    ::shutdown(fd, SHUT_WR);
    char scratch[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        if (::recv(fd, scratch, sizeof scratch, 0) <= 0) break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.erase(fd);
        ::close(fd);
        --activeConnections_;
    }
    changed_.notify_all();
}

void LoopbackServer::waitForStop() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopping_.load(); });
}

bool LoopbackServer::readRequest(int fd, LoopbackRequest& request) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestHead) return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        head.append(buffer, static_cast<size_t>(got));
    }
    std::istringstream lines(head.substr(0, head.find("\r\n\r\n")));
    std::string line;
    std::getline(lines, line);
    request.requestLine = trim(line);
    std::istringstream words(request.requestLine);
    words >> request.method >> request.target;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = lowerCase(trim(line.substr(0, colon)));
        const std::string value = trim(line.substr(colon + 1));
        if (name == "user-agent") request.userAgent = value;
        if (name == "host") request.host = value;
    }
    return !request.method.empty();
}

LoopbackResponse LoopbackServer::lookUp(const std::string& target) const {
    std::string root;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = routes_.find(target);
        if (found == routes_.end()) found = routes_.find(withoutQuery(target));
        if (found != routes_.end()) return found->second;
        root = root_;
    }
    if (!root.empty()) return fileResponse(target);
    return LoopbackResponse::withStatus(404, "Not Found", "<html><body>Not Found</body></html>");
}

LoopbackResponse LoopbackServer::fileResponse(const std::string& target) const {
    std::string path = percentDecode(withoutQuery(target));
    const LoopbackResponse missing =
        LoopbackResponse::withStatus(404, "Not Found", "<html><body>Not Found</body></html>");
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) return missing;
    std::string file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        file = root_ + path;
    }
    if (isDirectory(file)) file += file.back() == '/' ? "index.html" : "/index.html";
    std::ifstream in(file, std::ios::binary);
    if (!in) return missing;
    std::ostringstream content;
    content << in.rdbuf();
    return LoopbackResponse::ok(content.str(), contentTypeFor(file));
}

bool LoopbackServer::sendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

void LoopbackServer::answer(int fd, size_t requestIndex, const LoopbackResponse& response) {
    const bool generated = response.generatedBytes > 0;
    const unsigned long long bodyLength = generated ? response.generatedBytes : response.body.size();
    const bool chunked = response.chunked;
    const bool closeDelimited =
        !chunked && (response.closeDelimited || response.generatedBytes == LoopbackResponse::kEndless);

    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    if (!response.redirectTo.empty()) head += "Location: " + response.redirectTo + "\r\n";
    if (chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (!closeDelimited) {
        head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    if (!sendAll(fd, head.data(), head.size())) return;

    // The body goes out piece by piece so that a cut can fall anywhere, mid-chunk too.
    const bool stall = response.stallAfterBodyBytes >= 0;
    const long long stopAt = stall ? response.stallAfterBodyBytes : response.closeAfterBodyBytes;
    const unsigned long long limit =
        stopAt >= 0 ? std::min<unsigned long long>(bodyLength, static_cast<unsigned long long>(stopAt))
                    : bodyLength;
    const size_t pieceSize = chunked ? std::max<size_t>(response.chunkSize, 1) : kGenerateBlock;
    std::string filler;
    if (generated) filler.assign(pieceSize, response.fillByte);

    unsigned long long offset = 0;
    bool cut = false;
    while (offset < bodyLength && !stopping_) {
        const size_t piece = static_cast<size_t>(std::min<unsigned long long>(pieceSize, bodyLength - offset));
        const char* data = generated ? filler.data() : response.body.data() + offset;
        size_t send = piece;
        if (offset + piece > limit) {
            send = static_cast<size_t>(limit - offset);
            cut = true;
        }
        if (chunked) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", piece);
            if (!sendAll(fd, size, std::strlen(size))) return;
        }
        if (!sendAll(fd, data, send)) return;
        offset += send;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_[requestIndex].bodyBytesSent = offset;
        }
        if (cut) break;
        if (chunked && !sendAll(fd, "\r\n", 2)) return;
    }
    if (cut) {
        if (stall) waitForStop();
        return;
    }
    if (chunked) sendAll(fd, "0\r\n\r\n", 5);
}
