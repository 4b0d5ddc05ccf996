#pragma once

// The embedded browser over Qt WebEngine, without widgets: a page that a
// window's view shows, or that runs offscreen for the command line.

#include "index/browser.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

class QWebEnginePage;
class QWebEngineProfile;

namespace quilla {

// Browser over a page of its own in `profile`. Every
// request is answered exactly once while the adapter lives: with the page's
// answer, or as a failure (false, empty text, no address) when the script
// cannot run, throws, the page goes away or its renderer dies, or no answer
// comes within the answer timeout. Requests still open when the adapter is
// destroyed are dropped unanswered, so nothing calls back into an owner that
// is itself going away.
class WebEngineBrowser final : public QObject, public Browser {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultAnswerTimeout{10000};

    // The page belongs to `pageOwner` when given (a view that shows it), to
    // the browser otherwise; the profile must outlive the page.
    explicit WebEngineBrowser(QWebEngineProfile* profile, QObject* pageOwner = nullptr,
                              QObject* parent = nullptr);

    // The page, for a view to show; null once it is gone.
    QWebEnginePage* page() const;

    void navigate(const QString& address) override;
    QString address() const override;
    void setValue(const QString& name, const QString& value,
                  std::function<void(bool)> done) override;
    void click(const QString& name, std::function<void(bool)> done) override;
    void pageText(std::function<void(QString)> done) override;
    void activeHref(std::function<void(std::optional<QString>)> done) override;

    // How long a request waits for the page before it counts as failed.
    void setAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }

Q_SIGNALS:
    // A page asked for a new window and was refused; nothing opened.
    void newWindowRequested();

private:
    using Answer = std::function<void(const QVariant&)>;

    void evaluate(const QString& script, Answer answer);
    void answer(std::uint64_t id, const QVariant& result);
    void failAll();

    QPointer<QWebEnginePage> page_;
    std::map<std::uint64_t, Answer> open_; // by id, so failures go out in order
    std::uint64_t nextId_ = 0;
    std::chrono::milliseconds answerTimeout_ = defaultAnswerTimeout;
};

} // namespace quilla
