#pragma once

#include <memory>
#include <utility>

namespace quilla {

// Hands out callbacks that do nothing once their owner is gone: an answer
// from a page or a fetch can arrive after the run that asked has ended.
class AliveToken {
public:
    template <typename F> auto guard(F f) const {
        return [alive = std::weak_ptr<const int>(token_), f = std::move(f)](auto&&... args) {
            if (!alive.expired())
                f(std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

} // namespace quilla
