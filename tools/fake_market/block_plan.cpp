#include "fake_market/block_plan.h"

#include <charconv>

namespace quilla::fake_market {
namespace {

std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

std::optional<BlockRule> kindOf(std::string_view kind) {
    constexpr std::string_view retryAfter = "429-retry-after=";
    if (kind.substr(0, retryAfter.size()) == retryAfter) {
        const auto seconds = wholeNumber(kind.substr(retryAfter.size()));
        if (!seconds)
            return std::nullopt;
        return BlockRule{BlockKind::Throttle, {}, -1, *seconds};
    }
    const std::pair<std::string_view, BlockKind> kinds[] = {
        {"429", BlockKind::Throttle},           {"503", BlockKind::Unavailable},
        {"500", BlockKind::ServerError},        {"login", BlockKind::Login},
        {"slider", BlockKind::Slider},          {"layout", BlockKind::ChangedLayout},
        {"trend-login", BlockKind::TrendLogin}, {"trend-failed", BlockKind::TrendFailed}};
    for (const auto& [name, k] : kinds)
        if (kind == name)
            return BlockRule{k, {}, -1, 0};
    return std::nullopt;
}

} // namespace

std::optional<BlockRule> parseBlockRule(std::string_view text) {
    const std::size_t first = text.find(':');
    auto rule = kindOf(text.substr(0, first));
    if (!rule || first == std::string_view::npos)
        return rule;
    std::string_view rest = text.substr(first + 1);
    const std::size_t second = rest.rfind(':');
    std::string_view keyword = rest.substr(0, second);
    if (second != std::string_view::npos) {
        const auto times = wholeNumber(rest.substr(second + 1));
        if (!times)
            return std::nullopt;
        rule->times = *times;
    }
    if (keyword != "*")
        rule->keyword = QString::fromUtf8(keyword.data(), static_cast<qsizetype>(keyword.size()));
    return rule;
}

void BlockPlan::add(BlockRule rule) {
    const std::lock_guard guard(lock_);
    rules_.push_back(std::move(rule));
}

void BlockPlan::clear() {
    const std::lock_guard guard(lock_);
    rules_.clear();
}

std::optional<BlockRule> BlockPlan::take(const QString& keyword, bool trendQuery) {
    const std::lock_guard guard(lock_);
    for (BlockRule& rule : rules_) {
        const bool forTrend =
            rule.kind == BlockKind::TrendLogin || rule.kind == BlockKind::TrendFailed;
        if (forTrend != trendQuery || rule.times == 0 ||
            (!rule.keyword.isEmpty() && rule.keyword != keyword))
            continue;
        if (rule.times > 0)
            --rule.times;
        return rule;
    }
    return std::nullopt;
}

} // namespace quilla::fake_market
