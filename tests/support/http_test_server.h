#pragma once

// A small HTTP server on 127.0.0.1 for tests. It listens on a free port and
// answers one connection at a time on a background thread, from a handler that
// gives the reply as raw parts with pauses between them, so a test can send
// exactly the bytes, chunks and stalls it needs. It records every request.
// Every wait is bounded, and stopping cuts any pause short.

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quilla::test {

struct HttpRequest {
    std::string method;
    std::string target; // as sent: a path, or a whole address when asked as a proxy
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body;                                         // by Content-Length

    // The first value of a header, "" when there is none.
    std::string header(std::string_view lowerCaseName) const;
};

// Bytes sent as they are, then a wait before the next part.
struct ReplyPart {
    std::string bytes;
    std::chrono::milliseconds pauseAfter{0};
};
using Reply = std::vector<ReplyPart>;

// A whole response with Content-Length; `headers` are extra lines, each ending
// in "\r\n".
Reply httpReply(int status, std::string body, std::string headers = "Content-Type: text/html\r\n");

// The status line and headers only, with the given lines (each ending in "\r\n").
std::string replyHead(int status, std::string_view headers);

// The body in chunked transfer encoding, one chunk per size (the rest of the
// body goes in a last chunk), each chunk sent on its own after a short pause.
Reply chunkedReply(std::string_view body, const std::vector<std::size_t>& chunkSizes,
                   std::string headers = "Content-Type: text/html\r\n");

Reply redirectReply(int status, std::string_view location, std::string headers = {});

class HttpTestServer {
public:
    using Handler = std::function<Reply(const HttpRequest&)>;

    explicit HttpTestServer(Handler handler);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool listening() const { return port_ != 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    QString url(std::string_view path = "/") const;

    std::size_t requestCount() const;
    std::vector<HttpRequest> requests() const;

    // Ends any reply under way and closes the port; returns within about a
    // second. Also done by the destructor.
    void stop();

private:
    void serve();
    void answer(std::intptr_t connection);
    bool send(std::intptr_t connection, const Reply& reply);
    bool pause(std::chrono::milliseconds length);

    Handler handler_;
    std::intptr_t listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

} // namespace quilla::test
