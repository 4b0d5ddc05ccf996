#pragma once

#include <QByteArray>
#include <QString>

#include <iterator>
#include <optional>
#include <vector>

namespace quilla::test {

// Points http_proxy at a local server for as long as it lives, and puts the
// previous values back afterwards.
class ProxyEnvironment final {
public:
    explicit ProxyEnvironment(int port) {
        const QByteArray proxy = "http://127.0.0.1:" + QByteArray::number(port);
        set("http_proxy", proxy);
        set("HTTP_PROXY", proxy);
        set("no_proxy", {});
        set("NO_PROXY", {});
    }
    ~ProxyEnvironment() {
        for (const auto& [name, value, wasSet] : saved_) {
            if (wasSet)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    void set(const char* name, const QByteArray& value) {
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, value);
    }
    std::vector<Saved> saved_;
};

// Fetches from servers on 127.0.0.1 only: proxies set on the machine are
// put aside for as long as this lives.
class NoProxy final {
public:
    NoProxy() {
        for (const char* name : names) {
            saved_.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                             : std::nullopt);
            qunsetenv(name);
        }
    }
    ~NoProxy() {
        for (std::size_t i = 0; i < std::size(names); ++i)
            if (saved_[i])
                qputenv(names[i], *saved_[i]);
    }
    NoProxy(const NoProxy&) = delete;
    NoProxy& operator=(const NoProxy&) = delete;

private:
    static constexpr const char* names[] = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    std::vector<std::optional<QByteArray>> saved_;
};

} // namespace quilla::test
