#include "support/http_test_server.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quilla::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int pollMs = 50;           // how often a waiting server looks at `stopping_`
constexpr auto requestDeadline = 5s; // to read one request
constexpr std::size_t maxRequestBytes = 1u << 20;

#ifdef _WIN32
using Socket = SOCKET;
constexpr int noSignal = 0;
constexpr int shutWrite = SD_SEND;
void closeSocket(Socket s) {
    closesocket(s);
}
int pollOne(Socket s) {
    WSAPOLLFD p{s, POLLRDNORM, 0};
    return WSAPoll(&p, 1, pollMs);
}
void startNetwork() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
void setSendTimeout(Socket s) {
    const DWORD ms = 5000;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}
#else
using Socket = int;
constexpr int noSignal = MSG_NOSIGNAL; // a client that hung up must not kill the test
constexpr int shutWrite = SHUT_WR;
void closeSocket(Socket s) {
    ::close(s);
}
int pollOne(Socket s) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, pollMs);
}
void startNetwork() {}
void setSendTimeout(Socket s) {
    const timeval limit{5, 0}; // a client that stops reading cannot hold the server
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}
#endif

Socket socketOf(std::intptr_t s) {
    return static_cast<Socket>(s);
}

std::intptr_t openListener(int& port) {
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (static_cast<std::intptr_t>(s) == -1)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0; // any free port
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (::bind(s, generic, sizeof address) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, generic, &length) != 0) {
        closeSocket(s);
        return -1;
    }
    port = ntohs(address.sin_port);
    return static_cast<std::intptr_t>(s);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    return std::string(text.substr(begin, text.find_last_not_of(" \t") - begin + 1));
}

HttpRequest parseHead(std::string_view head) {
    HttpRequest request;
    const auto lineEnd = head.find("\r\n");
    const std::string_view first = head.substr(0, lineEnd);
    const auto space = first.find(' ');
    request.method = std::string(first.substr(0, space));
    if (space != std::string_view::npos) {
        const std::string_view rest = first.substr(space + 1);
        request.target = std::string(rest.substr(0, rest.find(' ')));
    }
    for (auto at = lineEnd; at != std::string_view::npos && at + 2 < head.size();) {
        const auto next = head.find("\r\n", at + 2);
        const std::string_view line = head.substr(at + 2, next - (at + 2));
        const auto colon = line.find(':');
        if (colon != std::string_view::npos)
            request.headers.emplace_back(lowerCase(std::string(line.substr(0, colon))),
                                         trimmed(line.substr(colon + 1)));
        at = next;
    }
    return request;
}

std::size_t contentLength(const HttpRequest& request) {
    const std::string value = request.header("content-length");
    std::size_t length = 0;
    std::from_chars(value.data(), value.data() + value.size(), length);
    return std::min(length, maxRequestBytes);
}

// Reads one request: the head, then a body of its Content-Length.
std::optional<HttpRequest> readRequest(Socket s, const std::atomic<bool>& stopping) {
    std::string data;
    std::optional<HttpRequest> request;
    std::size_t wanted = 0;
    const auto deadline = Clock::now() + requestDeadline;
    while (!stopping && Clock::now() < deadline && data.size() <= maxRequestBytes) {
        if (!request) {
            const auto headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                request = parseHead(std::string_view(data).substr(0, headEnd));
                data.erase(0, headEnd + 4);
                wanted = contentLength(*request);
            }
        }
        if (request && data.size() >= wanted) {
            request->body = data.substr(0, wanted);
            return request;
        }
        if (pollOne(s) <= 0)
            continue;
        char buffer[4096];
        const auto got = ::recv(s, buffer, sizeof buffer, 0);
        if (got <= 0)
            return std::nullopt;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return std::nullopt;
}

bool sendAll(Socket s, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(s, bytes.data(), static_cast<int>(bytes.size()), noSignal);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::string reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

std::string hex(std::size_t n) {
    char digits[2 * sizeof n + 1];
    const auto end = std::to_chars(digits, digits + sizeof digits, n, 16).ptr;
    return std::string(digits, end);
}

} // namespace

std::string HttpRequest::header(std::string_view lowerCaseName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName)
            return value;
    }
    return {};
}

std::string replyHead(int status, std::string_view headers) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n" +
           std::string(headers) + "Connection: close\r\n\r\n";
}

Reply httpReply(int status, std::string body, std::string headers) {
    headers += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return {{replyHead(status, headers) + body}};
}

Reply chunkedReply(std::string_view body, const std::vector<std::size_t>& chunkSizes,
                   std::string headers) {
    headers += "Transfer-Encoding: chunked\r\n";
    Reply reply{{replyHead(200, headers), 10ms}};
    std::size_t at = 0;
    const auto addChunk = [&](std::size_t size) {
        reply.push_back({hex(size) + "\r\n" + std::string(body.substr(at, size)) + "\r\n", 10ms});
        at += size;
    };
    for (const std::size_t size : chunkSizes) {
        if (const std::size_t taken = std::min(size, body.size() - at); taken > 0)
            addChunk(taken);
    }
    if (at < body.size())
        addChunk(body.size() - at);
    reply.push_back({"0\r\n\r\n"});
    return reply;
}

Reply redirectReply(int status, std::string_view location, std::string headers) {
    return httpReply(status, "moved", "Location: " + std::string(location) + "\r\n" + headers);
}

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {
    startNetwork();
    listener_ = openListener(port_);
    if (listener_ != -1)
        thread_ = std::thread([this] { serve(); });
}

HttpTestServer::~HttpTestServer() {
    stop();
}

QString HttpTestServer::url(std::string_view path) const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_) +
           QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

std::size_t HttpTestServer::requestCount() const {
    const std::lock_guard lock(mutex_);
    return requests_.size();
}

std::vector<HttpRequest> HttpTestServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (listener_ != -1) {
        closeSocket(socketOf(listener_));
        listener_ = -1;
    }
}

void HttpTestServer::serve() {
    const Socket listener = socketOf(listener_);
    while (!stopping_) {
        if (pollOne(listener) <= 0)
            continue;
        const Socket connection = ::accept(listener, nullptr, nullptr);
        if (static_cast<std::intptr_t>(connection) == -1)
            continue;
        answer(static_cast<std::intptr_t>(connection));
        closeSocket(connection);
    }
}

void HttpTestServer::answer(std::intptr_t connection) {
    const Socket s = socketOf(connection);
    setSendTimeout(s);
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    const std::optional<HttpRequest> request = readRequest(s, stopping_);
    if (!request)
        return;
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(*request);
    }
    if (send(connection, handler_(*request)))
        ::shutdown(s, shutWrite);
}

bool HttpTestServer::send(std::intptr_t connection, const Reply& reply) {
    for (const ReplyPart& part : reply) {
        if (!sendAll(socketOf(connection), part.bytes) || !pause(part.pauseAfter))
            return false;
    }
    return true;
}

bool HttpTestServer::pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, length, [this] { return stopping_.load(); });
    return !stopping_;
}

} // namespace quilla::test
