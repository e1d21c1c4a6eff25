// The scripted HTTP/1.1 server on 127.0.0.1, in the clear and over TLS: one thread that
// accepts, one more per connection.
#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

// One connection being served, in the clear or over TLS.
struct LoopbackServer::Connection {
    int fd;
    SSL* ssl = nullptr;
    std::atomic<int>* open = nullptr;  // the server's count of connections open, while this one counts

    // The server is done with it: the client may close it and open another.
    void done() {
        if (open) --*open;
        open = nullptr;
    }

    ssize_t receive(char* buffer, size_t size) {
        return ssl ? SSL_read(ssl, buffer, static_cast<int>(size)) : ::recv(fd, buffer, size, 0);
    }
    bool sendAll(std::string_view data) {
        for (ssize_t sent = 0; !data.empty(); data.remove_prefix(static_cast<size_t>(sent))) {
            sent = ssl ? SSL_write(ssl, data.data(), static_cast<int>(data.size()))
                       : ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent <= 0) return false;
        }
        return true;
    }
};

namespace {

// A listening socket on 127.0.0.1 at a port of the kernel's choosing; -1 if none.
int listenOnLoopback(uint16_t& port) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// The value of a header in a request's head, its name matched in any case; empty if absent.
std::string headerValue(const std::string& head, const std::string& name) {
    for (size_t line = head.find("\r\n"); line != std::string::npos; line = head.find("\r\n", line + 2)) {
        const size_t start = line + 2;
        if (head.size() > start + name.size() && head[start + name.size()] == ':' &&
            strncasecmp(head.c_str() + start, name.c_str(), name.size()) == 0) {
            const size_t value = head.find_first_not_of(' ', start + name.size() + 1);
            return head.substr(value, head.find("\r\n", start) - value);
        }
    }
    return "";
}

}  // namespace

LoopbackServer::~LoopbackServer() {
    stop();
    if (tlsListenFd_ >= 0) ::close(tlsListenFd_);
    SSL_CTX_free(static_cast<SSL_CTX*>(tls_));
}

bool LoopbackServer::enableTls(const std::string& certificateFile, const std::string& keyFile) {
    std::signal(SIGPIPE, SIG_IGN);  // TLS writes to a client that hung up must fail, not end the test
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    tls_ = context;
    return context && SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) == 1 &&
           SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) == 1 &&
           (tlsListenFd_ = listenOnLoopback(tlsPort_)) >= 0;
}

bool LoopbackServer::start() {
    if ((listenFd_ = listenOnLoopback(port_)) < 0) return false;
    thread_ = std::thread([this] {
        while (!stopping_) {
            pollfd listeners[2] = {{listenFd_, POLLIN, 0}, {tlsListenFd_, POLLIN, 0}};
            if (::poll(listeners, 2, 50) <= 0) continue;
            for (int i = 0; i < 2 && !stopping_; ++i) {
                const int fd = listeners[i].revents & POLLIN ? ::accept4(listeners[i].fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
                if (fd < 0) continue;
                std::lock_guard lock(connectionsMutex_);
                openFds_.push_back(fd);
                servers_.emplace_back([this, fd, tls = i == 1] { serveConnection(fd, tls); });
            }
        }
    });
    return true;
}

void LoopbackServer::serveConnection(int fd, bool tls) {
    ++accepted_;
    const int open = ++open_;
    for (int most = mostOpen_; open > most && !mostOpen_.compare_exchange_weak(most, open);) {
    }
    Connection connection{fd, nullptr, &open_};
    if (tls) {
        connection.ssl = SSL_new(static_cast<SSL_CTX*>(tls_));
        SSL_set_fd(connection.ssl, fd);
    }
    // stop() may have come before the fd was listed; a client that refused the
    // certificate has nothing to ask.
    if (!stopping_ && (!connection.ssl || SSL_accept(connection.ssl) == 1)) serve(connection);
    SSL_free(connection.ssl);
    connection.done();  // before the close: a client that sees it closed sees it uncounted too
    {
        std::lock_guard lock(connectionsMutex_);
        openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
    }
    ::close(fd);
}

void LoopbackServer::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    thread_.join();
    std::vector<std::thread> servers;
    {
        std::lock_guard lock(connectionsMutex_);
        for (const int fd : openFds_) ::shutdown(fd, SHUT_RDWR);  // wakes a blocked recv or send
        servers.swap(servers_);
    }
    for (std::thread& server : servers) server.join();
    ::close(listenFd_);
}

void LoopbackServer::route(const Route& route) { std::lock_guard lock(mutex_); routes_[route.path] = route; }
void LoopbackServer::serveDirectory(const std::string& root) { std::lock_guard lock(mutex_); root_ = root; }
size_t LoopbackServer::requestCount() const { std::lock_guard lock(mutex_); return requests_.size(); }
std::string LoopbackServer::lastRequest() const { std::lock_guard lock(mutex_); return requests_.empty() ? "" : requests_.back(); }

std::string LoopbackServer::requestLog() const {
    std::lock_guard lock(mutex_);
    std::string log;
    for (const std::string& line : requestLog_) log += line + "\n";
    return log;
}

void LoopbackServer::requireCredentials(const std::string& user, const std::string& password) {
    const std::string plain = user + ":" + password;
    std::string encoded(4 * (plain.size() + 2) / 3 + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       reinterpret_cast<const unsigned char*>(plain.data()), static_cast<int>(plain.size()));
    std::lock_guard lock(mutex_);
    authorization_ = "Basic " + encoded.substr(0, static_cast<size_t>(length));
}

bool LoopbackServer::readRequest(Connection& connection, std::string& head) {
    char buffer[4096];
    for (ssize_t got; head.find("\r\n\r\n") == std::string::npos; head.append(buffer, static_cast<size_t>(got))) {
        if ((got = connection.receive(buffer, sizeof buffer)) <= 0) return false;
    }
    return true;
}

void LoopbackServer::record(const Connection& connection, const std::string& head) {
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::string authorization = headerValue(head, "Authorization");
    std::lock_guard lock(mutex_);
    requests_.push_back(line + " from " + headerValue(head, "User-Agent"));
    requestLog_.push_back(std::string(connection.ssl ? "https " : "http ") + headerValue(head, "Host") + " " +
                          line.substr(0, line.rfind(' ')) +
                          (authorization.empty() ? "" : authorization == authorization_ ? " with credentials" : " with other credentials"));
}

void LoopbackServer::serve(Connection& connection) {
    for (std::string head; readRequest(connection, head); head.clear()) {
        record(connection, head);
        const std::string line = head.substr(0, head.find("\r\n"));
        bool refused = false;
        {
            std::lock_guard lock(mutex_);
            refused = !authorization_.empty() && headerValue(head, "Authorization") != authorization_;
        }
        const size_t from = line.find(' ') + 1;
        const Route route = refused ? Route{.status = 401, .reason = "Unauthorized", .body = "<title>Who are you?</title>",
                                            .headers = "WWW-Authenticate: Basic realm=\"test\"\r\n"}
                                    : lookUp(line.substr(from, line.find(' ', from) - from));
        if (const int delayMs = route.delayMs + delayMs_; delayMs > 0 && waitForStop(connection, delayMs)) return;
        if (!answer(connection, route)) return;
    }
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

bool LoopbackServer::answer(Connection& connection, const Route& route) {
    const Fault fault = route.fault;
    if (route.interim && !connection.sendAll("HTTP/1.1 100 Continue\r\n\r\n")) return false;
    if (fault == Fault::NeverAnswer && waitForStop(connection, -1)) return false;
    std::string head = fault == Fault::RawStatusLine ? route.reason + "\r\n"
                                                     : "HTTP/1.1 " + std::to_string(route.status) + " " + route.reason + "\r\n";
    if (!route.location.empty()) head += "Location: " + route.location + "\r\n";
    head += route.headers;
    if (fault == Fault::Chunked) head += "Transfer-Encoding: chunked\r\n";
    if (fault != Fault::Chunked && fault != Fault::Endless) head += "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
    // Kept alive, as the server is asked to, for an answer whose end the client can tell.
    const bool next = keepAlive_ && (fault == Fault::NoFault || fault == Fault::Chunked);
    const bool keptAlive = next || fault == Fault::Stall || fault == Fault::KeptThenClosed;
    head += keptAlive ? "\r\n" : "Connection: close\r\n\r\n";
    for (size_t at = 0; fault == Fault::SlowStatusLine && head[at] != '\n'; ++at) {
        if (!connection.sendAll(head.substr(at, 1)) || waitForStop(connection, kSlowLineMs)) return false;
    }
    if (fault == Fault::SlowStatusLine) head.erase(0, head.find('\n'));
    if (!connection.sendAll(fault == Fault::NoStatusLine ? "" : head)) return false;
    for (size_t at = 0; fault == Fault::Drip && at < route.body.size(); ++at) {
        if (!connection.sendAll(route.body.substr(at, 1)) || waitForStop(connection, kDripMs)) return false;
    }

    const bool cuts = fault == Fault::Cut || fault == Fault::Reset || fault == Fault::Stall || fault == Fault::Drip;
    const std::string_view body = std::string_view(route.body).substr(0, cuts ? route.faultAt : std::string::npos);
    const size_t piece = 1000;  // so that a cut can fall anywhere, mid-chunk too
    const std::string endless(16000, 'a');
    for (size_t at = 0; at < body.size() || fault == Fault::Endless; at += piece) {
        const std::string_view part = fault == Fault::Endless ? endless : body.substr(at, piece);
        std::ostringstream size;
        size << std::hex << part.size() << "\r\n";
        if (fault == Fault::Chunked && !connection.sendAll(size.str())) return false;
        if (!connection.sendAll(part) || (fault == Fault::Chunked && !connection.sendAll("\r\n"))) return false;
    }
    if (fault == Fault::Chunked) connection.sendAll("0\r\n\r\n");
    if (next) return true;
    // As a server whose keep-alive time ran out just as the next request came: the
    // client sent it on a connection it rightly thought open, and it dies unanswered.
    if (std::string request; fault == Fault::KeptThenClosed) {
        if (readRequest(connection, request)) record(connection, request);
        return false;
    }
    if (fault == Fault::Reset) {
        ::usleep(100 * 1000);  // lets the client read what came before the reset throws it away
        const linger abort{1, 0};
        ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return false;
    }
    // Half-close, and let the client read to the end: closing with its bytes unread here
    // would turn the close into a reset that can lose the answer. Over TLS the end of
    // the answer is said first, or the client could not tell it from a cut.
    if (fault != Fault::Stall) {
        if (connection.ssl) SSL_shutdown(connection.ssl);
        ::shutdown(connection.fd, SHUT_WR);
        // The answer is whole and its end said: the client may go on before this thread sees it go.
        connection.done();
    }
    waitForStop(connection, -1);
    return false;
}

// Waits up to `ms` (-1: for ever); true when the server stops or the client hangs up first.
bool LoopbackServer::waitForStop(Connection& connection, int ms) {
    char scratch[4096];
    for (int waited = 0; ms < 0 || waited < ms; waited += 50) {
        if (stopping_) return true;
        pollfd pfd{connection.fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) > 0 && connection.receive(scratch, sizeof scratch) <= 0) return true;
    }
    return false;
}
