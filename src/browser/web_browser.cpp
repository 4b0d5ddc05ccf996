#include "browser/web_browser.h"

#include "browser/page_script.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include <utility>

namespace quilla {

namespace {

// A page that opens no other window and shows no dialog: a run must never
// stop behind a pop-up.
class RefusingPage final : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

    std::function<void()> onWindowRefused;

protected:
    QWebEnginePage* createWindow(WebWindowType) override {
        // Told after the refusal has been handed back to the page.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (onWindowRefused)
                    onWindowRefused();
            },
            Qt::QueuedConnection);
        return nullptr;
    }

    void javaScriptAlert(const QUrl&, const QString&) override {}

    bool javaScriptConfirm(const QUrl&, const QString& message) override {
        // The leave-page question comes this way too; staying would hold the
        // run on a page that asked to keep it.
        return message == leavePageQuestion();
    }

    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }

    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
        return {};
    }

private:
    static QString leavePageQuestion() {
        return QCoreApplication::translate("QWebEnginePage",
                                           "Are you sure you want to leave this page? Changes "
                                           "that you made may not be saved.");
    }
};

bool isTrue(const QVariant& result) {
    return result.typeId() == QMetaType::Bool && result.toBool();
}

QString textOf(const QVariant& result) {
    return result.typeId() == QMetaType::QString ? result.toString() : QString();
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWebEngineProfile* profile, QObject* pageOwner, QObject* parent)
    : QObject(parent) {
    auto* page = new RefusingPage(profile ? profile : QWebEngineProfile::defaultProfile(),
                                  pageOwner ? pageOwner : this);
    page->onWindowRefused = [self = QPointer(this)] {
        if (self)
            Q_EMIT self->newWindowRequested();
    };
    connect(page, &QObject::destroyed, this, &WebEngineBrowser::failAll);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &WebEngineBrowser::failAll);
    page_ = page;
}

QWebEnginePage* WebEngineBrowser::page() const {
    return page_;
}

void WebEngineBrowser::navigate(const QString& address) {
    const QUrl url(address);
    if (page_ && url.isValid())
        page_->load(url);
}

QString WebEngineBrowser::address() const {
    return page_ ? page_->url().toString() : QString();
}

void WebEngineBrowser::setValue(const QString& name, const QString& value,
                                std::function<void(bool)> done) {
    evaluate(page_script::setValue(name, value),
             [done = std::move(done)](const QVariant& result) { done(isTrue(result)); });
}

void WebEngineBrowser::click(const QString& name, std::function<void(bool)> done) {
    evaluate(page_script::click(name),
             [done = std::move(done)](const QVariant& result) { done(isTrue(result)); });
}

void WebEngineBrowser::pageText(std::function<void(QString)> done) {
    evaluate(page_script::rootMarkup(),
             [done = std::move(done)](const QVariant& result) { done(textOf(result)); });
}

void WebEngineBrowser::activeHref(std::function<void(std::optional<QString>)> done) {
    evaluate(page_script::activeHref(), [done = std::move(done)](const QVariant& result) {
        const QString href = textOf(result);
        done(href.isEmpty() ? std::nullopt : std::optional<QString>(href));
    });
}

void WebEngineBrowser::evaluate(const QString& script, Answer answer) {
    if (!page_) {
        answer(QVariant());
        return;
    }
    const std::uint64_t id = nextId_++;
    open_.emplace(id, std::move(answer));
    QTimer::singleShot(answerTimeout_, this, [this, id] { this->answer(id, QVariant()); });
    // The application's own world: page scripts cannot replace what ours use.
    page_->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                         [self = QPointer(this), id](const QVariant& result) {
                             if (self)
                                 self->answer(id, result);
                         });
}

void WebEngineBrowser::answer(std::uint64_t id, const QVariant& result) {
    const auto found = open_.find(id);
    if (found == open_.end())
        return; // answered already, by the page or by the timeout
    Answer answer = std::move(found->second);
    open_.erase(found);
    answer(result);
}

void WebEngineBrowser::failAll() {
    auto open = std::exchange(open_, {});
    for (auto& [id, answer] : open)
        answer(QVariant());
}

} // namespace quilla
