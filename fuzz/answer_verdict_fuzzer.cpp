// Answer verdicts: whatever status, address, headers and body an answer
// brings, the wait before trying again lies within 0 and 10 minutes, a page
// that reads as search results is never taken for a login or a check by its
// text, and a status or a failure says what it says whatever the page holds.
//
// The input is an answer as it came over the wire: an optional first line
// that is not a status line, the address the redirects ended at (else the
// one asked for); then one or more header blocks, each a status line and
// header lines up to a blank line (the earlier ones a redirect's); then the
// body.

#include "fuzz_support.h"

#include "mining/mining_pace.h"
#include "mining/mining_run.h"
#include "mining/search_page.h"
#include "net/page_decode.h"
#include "net/page_verdict.h"

#include <QDateTime>

#include <array>
#include <chrono>
#include <optional>

namespace {

using namespace quilla::fuzz;
using quilla::Verdict;

struct Answer {
    QString finalAddress;
    int status = 0;
    QByteArray contentType;
    QByteArray retryAfter;
    QByteArray body;
};

// The next line from `at`, without its line break; `at` moves past it.
QByteArray nextLine(const QByteArray& input, qsizetype& at) {
    qsizetype end = input.indexOf('\n', at);
    if (end < 0)
        end = input.size();
    QByteArray line = input.mid(at, end - at);
    at = std::min(end + 1, input.size());
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// "HTTP/1.1 429 ..." as libcurl reads it: three digits after the version.
int statusOf(const QByteArray& line) {
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return 0;
    int status = 0;
    for (qsizetype i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status >= 100 ? status : 0;
}

// A header's value when the line is that header (the name lower case, with
// its colon), as the fetcher takes it.
std::optional<QByteArray> headerValue(const QByteArray& line, const char* name) {
    const qsizetype n = qstrlen(name);
    if (line.size() < n || qstrnicmp(line.constData(), name, n) != 0)
        return std::nullopt;
    return line.mid(n).trimmed();
}

Answer answerOf(const QByteArray& input, const QString& requested) {
    Answer answer;
    answer.finalAddress = requested;
    qsizetype at = 0;
    if (!input.startsWith("HTTP/"))
        answer.finalAddress = QString::fromUtf8(nextLine(input, at));
    while (at < input.size() && input.sliced(at).startsWith("HTTP/")) {
        // A new response begins: what the one before said is gone.
        answer.status = statusOf(nextLine(input, at));
        answer.contentType.clear();
        answer.retryAfter.clear();
        for (QByteArray line; at < input.size() && !(line = nextLine(input, at)).isEmpty();) {
            if (auto type = headerValue(line, "content-type:"))
                answer.contentType = *type;
            else if (auto wait = headerValue(line, "retry-after:"))
                answer.retryAfter = *wait;
        }
    }
    answer.body = input.sliced(at);
    return answer;
}

std::chrono::system_clock::time_point at(const char* when) {
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(when), Qt::ISODate);
    return std::chrono::system_clock::time_point(std::chrono::seconds(t.toSecsSinceEpoch()));
}

constexpr std::array failures{quilla::FetchFailure::None,
                              quilla::FetchFailure::Refused,
                              quilla::FetchFailure::Reset,
                              quilla::FetchFailure::TimedOut,
                              quilla::FetchFailure::TooManyRedirects,
                              quilla::FetchFailure::Stopped,
                              quilla::FetchFailure::Other};

bool isBlock(Verdict v) {
    return v == Verdict::Login || v == Verdict::Verification;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString requested = quilla::searchAddress(QStringLiteral("连衣裙"));
    static const std::array nows{at("1970-01-01T00:00:00Z"), at("2024-06-01T12:00:00Z"),
                                 at("2069-12-31T12:00:00Z")};
    const Answer answer = answerOf(bytesOf(data, size), requested);

    // The wait: never negative, never past the longest, however the server
    // words its Retry-After and whatever the clock says.
    for (const auto now : nows) {
        const auto seconds = quilla::retryAfterSeconds(answer.retryAfter, now);
        if (!seconds)
            continue;
        FUZZ_CHECK(seconds->count() >= 0);
        // A second later the date is a second nearer, or already past.
        const auto later =
            quilla::retryAfterSeconds(answer.retryAfter, now + std::chrono::seconds(1));
        FUZZ_CHECK(later && (*later == *seconds || *later == *seconds - std::chrono::seconds(1)));
        const QByteArray digits = answer.retryAfter.trimmed();
        if (digits.size() <= 18 && !digits.isEmpty() &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            FUZZ_CHECK(seconds->count() == digits.toLongLong());
    }
    const auto retryAfter = quilla::retryAfterSeconds(answer.retryAfter, nows[1]);
    // The waits of a run that learns its pace start short; those of one that
    // does not start at the long waits. Either way they stay within bounds,
    // never shrink as throttles follow each other, and the server's word goes.
    for (const std::int64_t first :
         {quilla::PacePolicy::firstThrottleWaitMs, quilla::RetryPolicy::firstThrottleWaitMs}) {
        std::int64_t before = 0;
        for (int level = 0; level < 12; ++level) {
            for (const double jitter : {0.8, 1.0, 1.2}) {
                const std::int64_t ms =
                    quilla::RetryPolicy::throttleWaitMs(level, retryAfter, jitter, first);
                FUZZ_CHECK(ms >= 0 && ms <= quilla::RetryPolicy::longestWaitMs);
                if (retryAfter)
                    FUZZ_CHECK(ms == quilla::RetryPolicy::throttleWaitMs(0, retryAfter, 1.0));
            }
            const std::int64_t ms =
                quilla::RetryPolicy::throttleWaitMs(level, retryAfter, 1.0, first);
            FUZZ_CHECK(ms >= before);
            before = ms;
        }
    }

    quilla::FetchResult fetched;
    fetched.text = quilla::decodePage(answer.body, answer.contentType);
    fetched.status = answer.status;
    fetched.finalAddress = answer.status == 0 ? QString() : answer.finalAddress;
    fetched.retryAfter = retryAfter;
    const bool holdsResults = quilla::readSearchPage(fetched.text).yielded();
    const Verdict byAddress = quilla::addressVerdict(requested, fetched.finalAddress);
    const auto& rules = quilla::marketplaceRules();
    const bool throttling = std::find(rules.throttleStatuses.begin(), rules.throttleStatuses.end(),
                                      answer.status) != rules.throttleStatuses.end();
    for (const auto failure : failures) {
        fetched.failure = failure;
        const Verdict read = quilla::verdictOf(fetched, requested, holdsResults);
        const Verdict plain = quilla::verdictOf(fetched, requested, false);
        const Verdict results = quilla::verdictOf(fetched, requested, true);
        FUZZ_CHECK(read == (holdsResults ? results : plain));
        if (answer.status == 0)
            FUZZ_CHECK(plain == Verdict::Network && results == Verdict::Network);
        else if (throttling)
            FUZZ_CHECK(plain == Verdict::Throttled && results == Verdict::Throttled);
        // Search results outweigh any login or check text on the page; only
        // the address a redirect ended at can still say so.
        FUZZ_CHECK(!isBlock(results) || results == byAddress);
        FUZZ_CHECK(results == plain || (isBlock(plain) && results == Verdict::Passed));
        // A transfer that broke off is never a page to read.
        if (failure != quilla::FetchFailure::None)
            FUZZ_CHECK(results != Verdict::Passed && plain != Verdict::Passed);
        else if (answer.status != 0 && !throttling && byAddress == Verdict::Passed &&
                 answer.status < 500)
            FUZZ_CHECK(results == Verdict::Passed);
    }
    return 0;
}
