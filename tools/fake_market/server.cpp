#include "fake_market/server.h"

#include "fake_market/router.h"

#include <httplib.h>

#include <iostream>

namespace quilla::fake_market {

struct FakeMarketServer::Http {
    httplib::Server server;
};

FakeMarketServer::FakeMarketServer(ServerOptions options)
    : options_(options), http_(std::make_unique<Http>()), limiter_(options_.limit),
      day_(options.day) {
    for (const BlockRule& rule : options_.blocks)
        plan_.add(rule);
    // Short keep-alive, so that stop() does not wait long on an idle client.
    http_->server.set_keep_alive_timeout(1);
    // Every request is routed here, whatever its target looks like: through a
    // proxy the whole address arrives as the path, which no route would match.
    http_->server.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) {
            record({req.method, req.target, req.get_header_value("User-Agent"),
                    req.get_header_value("Cookie")});
            const std::string host = req.get_header_value("Host");
            const Target target = parseTarget(req.target, host);
            if (target.path == nextDayPath &&
                (target.host == "127.0.0.1" || target.host == "localhost")) {
                res.status = 200;
                res.set_header("Cache-Control", "no-store");
                res.set_content("day " + std::to_string(nextDay()) + "\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            const bool overLimit =
                isSearchRequest(req.method, req.target, host) && !limiter_.take(req.remote_addr);
            const Answer a =
                overLimit ? overLimitAnswer(options_.limit.mode, options_.limit.retryAfterSeconds)
                          : answer(req.method, req.target, host, &plan_, options_.longTail, day_);
            if (a.isSearchPage && options_.searchDelay.count() > 0)
                std::this_thread::sleep_for(options_.searchDelay);
            res.status = a.status;
            res.set_header("Cache-Control", "no-store");
            for (const auto& [name, value] : a.headers)
                res.set_header(name, value);
            res.set_content(a.body, a.contentType.c_str());
            return httplib::Server::HandlerResponse::Handled;
        });
}

FakeMarketServer::~FakeMarketServer() {
    stop();
}

bool FakeMarketServer::start(int port) {
    if (thread_.joinable() || port < 0 || port > 65535)
        return false;
    httplib::Server& server = http_->server;
    if (port == 0) {
        port_ = server.bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            return false;
    } else {
        if (!server.bind_to_port("127.0.0.1", port))
            return false;
        port_ = port;
    }
    thread_ = std::thread([&server] { server.listen_after_bind(); });
    // stop() only takes effect once the loop runs, so wait for it (bounded).
    for (int i = 0; i < 500 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server.is_running();
}

void FakeMarketServer::stop() {
    if (!thread_.joinable())
        return;
    http_->server.stop();
    thread_.join();
}

std::vector<LoggedRequest> FakeMarketServer::requests() const {
    const std::lock_guard lock(logMutex_);
    return log_;
}

void FakeMarketServer::clearRequests() {
    const std::lock_guard lock(logMutex_);
    log_.clear();
}

void FakeMarketServer::record(LoggedRequest request) {
    const std::lock_guard lock(logMutex_);
    if (options_.verbose) {
        std::cerr << request.method << ' ' << request.target << " [" << request.userAgent << "]\n"
                  << std::flush;
    }
    log_.push_back(std::move(request));
}

} // namespace quilla::fake_market
