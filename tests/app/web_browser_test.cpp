#include "browser/page_script.h"
#include "browser/web_browser.h"
#include "index/index_run.h"
#include "support/fakes.h"
#include "support/http_test_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>

using namespace std::chrono_literals;

namespace quilla {
namespace {

constexpr int waitMs = 20000;

QString page(const QString& body) {
    return u"<!DOCTYPE html><html><head></head><body>" % body % u"</body></html>";
}

QString serialised(const QString& body) {
    return u"<HEAD></HEAD><BODY>" % body % u"</BODY>";
}

class WebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<QWebEngineView>();
        browser =
            std::make_unique<WebEngineBrowser>(QWebEngineProfile::defaultProfile(), view.get());
        view->setPage(browser->page());
        view->resize(800, 600);
        view->show();
    }

    bool load(const QString& html) {
        QSignalSpy finished(view->page(), &QWebEnginePage::loadFinished);
        view->setHtml(html, QUrl(QStringLiteral("http://test.local/")));
        return finished.wait(waitMs) && finished.first().first().toBool();
    }

    // Starts a request and waits for its answer. The answer lands in shared
    // state, so one that comes after a failed wait harms nothing.
    template <typename T, typename Start> static T answerTo(Start start) {
        auto answer = std::make_shared<std::optional<T>>();
        start([answer](T value) { *answer = std::move(value); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer->has_value(); }, waitMs));
        return answer->value_or(T());
    }

    // Runs a script in the page's own world, as the page itself would, unless
    // told otherwise.
    QVariant evaluate(const QString& script, quint32 world = QWebEngineScript::MainWorld) {
        return answerTo<QVariant>(
            [&](auto done) { view->page()->runJavaScript(script, world, done); });
    }

    QString pageText() {
        return answerTo<QString>([&](auto done) { browser->pageText(done); });
    }

    bool setValue(const QString& name, const QString& value) {
        return answerTo<bool>([&](auto done) { browser->setValue(name, value, done); });
    }

    bool click(const QString& name) {
        return answerTo<bool>([&](auto done) { browser->click(name, done); });
    }

    std::optional<QString> activeHref() {
        return answerTo<std::optional<QString>>([&](auto done) { browser->activeHref(done); });
    }

    // True once the page text holds `part`, polling for at most waitMs.
    bool pageTextComesToHold(const QString& part) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < waitMs) {
            if (pageText().contains(part))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    std::unique_ptr<QWebEngineView> view;
    std::unique_ptr<WebEngineBrowser> browser;
};

struct MarkupCase {
    const char* what;
    const char* body;
    const char* expected;
};

class PageTextMarkup : public WebBrowserTest, public ::testing::WithParamInterface<MarkupCase> {};

TEST_P(PageTextMarkup, ReadsAsTheOldBrowserWroteIt) {
    const MarkupCase& c = GetParam();
    ASSERT_TRUE(load(page(QString::fromUtf8(c.body))));
    EXPECT_EQ(pageText(), serialised(QString::fromUtf8(c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageTextMarkup,
    ::testing::Values(
        MarkupCase{"ratio", R"(<span class="up">12%</span><span class="down">3%</span>)",
                   "<SPAN class=up>12%</SPAN><SPAN class=down>3%</SPAN>"},
        MarkupCase{"nested", "<div><p><b>x</b><i>y</i></p><ul><li>1</li></ul></div>",
                   "<DIV><P><B>x</B><I>y</I></P><UL><LI>1</LI></UL></DIV>"},
        MarkupCase{"simple values", R"(<a href="/x/y.html?k" id='k' data-n=5>t</a>)",
                   "<A href=/x/y.html?k id=k data-n=5>t</A>"},
        MarkupCase{"name as written", R"~(<div DATA-Mixed="1" onClick="f()"></div>)~",
                   "<DIV data-mixed=1 onclick=f()></DIV>"},
        MarkupCase{"space", R"(<b title="two words"></b>)", R"(<B title="two words"></B>)"},
        MarkupCase{"tab", "<b title=\"a&#9;b\"></b>", "<B title=\"a\tb\"></B>"},
        MarkupCase{"empty", R"(<input name="q" value="">)", R"(<INPUT name=q value="">)"},
        MarkupCase{"double quote", R"(<b title='say "hi"'></b>)",
                   R"(<B title="say &quot;hi&quot;"></B>)"},
        MarkupCase{"single quote", R"(<b title="it's"></b>)", R"(<B title="it's"></B>)"},
        MarkupCase{"equals and ampersand", R"(<a href="?a=1&amp;b=2"></a>)",
                   R"(<A href="?a=1&amp;b=2"></A>)"},
        MarkupCase{"less than", R"(<b title="a<b"></b>)", R"(<B title="a<b"></B>)"},
        MarkupCase{"greater than", R"(<b title="a>b"></b>)", R"(<B title="a>b"></B>)"},
        MarkupCase{"backquote", R"(<b title="a`b"></b>)", R"(<B title="a`b"></B>)"},
        MarkupCase{"text entities", "a &amp; b &lt;c&gt; d&nbsp;e \"q\"",
                   "a &amp; b &lt;c&gt; d&nbsp;e \"q\""},
        MarkupCase{"text kept", "热卖 连衣裙\tx\ny", "热卖 连衣裙\tx\ny"},
        MarkupCase{"script raw",
                   "<script>var a = 1, b = 2, x; if (a < b && b > a) x = \"&amp;</p>\";</script>",
                   "<SCRIPT>var a = 1, b = 2, x; if (a < b && b > a) x = \"&amp;</p>\";</SCRIPT>"},
        MarkupCase{"style raw", "<style>p > b { content: \"&<\"; }</style>",
                   "<STYLE>p > b { content: \"&<\"; }</STYLE>"},
        MarkupCase{"textarea escaped", "<textarea>a &lt; b &amp; c</textarea>",
                   "<TEXTAREA>a &lt; b &amp; c</TEXTAREA>"},
        MarkupCase{"comment", "<!-- note & <b> -->x", "<!-- note & <b> -->x"},
        MarkupCase{"void elements", R"(<br><img src="a.png"><hr><input type="text"><wbr>)",
                   "<BR><IMG src=a.png><HR><INPUT type=text><WBR>"},
        MarkupCase{"foreign elements", R"(<svg viewBox="0 0 1 1"><path d="M0,0"></path></svg>)",
                   R"(<SVG viewBox="0 0 1 1"><PATH d=M0,0></PATH></SVG>)"},
        MarkupCase{"template content", "<template><b>t</b></template>",
                   "<TEMPLATE><B>t</B></TEMPLATE>"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST_F(WebBrowserTest, PageTextIsTheWholeRootContent) {
    ASSERT_TRUE(load(QStringLiteral(
        R"(<!DOCTYPE html><html lang="zh"><head><meta charset="utf-8"><title>T &amp; U</title>)"
        R"(<link rel="stylesheet" href="data:text/css,"></head>)"
        R"(<body class="trend page"><p id="a">A<br>B</p><!--end--></body></html>)")));
    EXPECT_EQ(pageText(), QStringLiteral(R"(<HEAD><META charset=utf-8><TITLE>T &amp; U</TITLE>)"
                                         R"(<LINK rel=stylesheet href=data:text/css,></HEAD>)"
                                         R"(<BODY class="trend page"><P id=a>A<BR>B</P>)"
                                         R"(<!--end--></BODY>)"));
}

TEST_F(WebBrowserTest, PageTextOfAnEmptyViewIsTheBlankDocument) {
    EXPECT_EQ(pageText(), QStringLiteral("<HEAD></HEAD><BODY></BODY>"));
}

TEST_F(WebBrowserTest, PageTextOfALargeDocumentIsWhole) {
    // Built in the page: a document loaded with setHtml cannot exceed 2 MB encoded.
    ASSERT_TRUE(load(page(QString())));
    evaluate(QStringLiteral(
        "var rows = []; for (var i = 0; i < 17000; ++i) rows.push('<tr><td class=\\'c k\\'>"
        "cell &amp; ' + i + '</td><td>\u641c\u7d22 12345</td></tr>');"
        "document.body.innerHTML = '<table>' + rows.join('') + '</table>'; true"));
    const QString text = pageText();
    EXPECT_GT(text.size(), 1'000'000);
    EXPECT_TRUE(text.startsWith(QStringLiteral("<HEAD>")));
    EXPECT_TRUE(text.endsWith(QStringLiteral(
        "<TD class=\"c k\">cell &amp; 16999</TD><TD>搜索 12345</TD></TR></TBODY></TABLE></BODY>")));
    EXPECT_EQ(text.count(QStringLiteral("<TR>")), 17000);
}

TEST_F(WebBrowserTest, PageTextOfADeepDocumentIsWhole) {
    constexpr int depth = 20000;
    ASSERT_TRUE(load(page(QStringLiteral(R"(<div id="deep" style="display:none"></div>)"))));
    evaluate(QStringLiteral("var node = document.getElementById('deep');"
                            "for (var i = 0; i < %1; ++i) node = node.appendChild("
                            "document.createElement('b')); true")
                 .arg(depth));
    const QString expected =
        serialised(u"<DIV id=deep style=display:none>" % QStringLiteral("<B>").repeated(depth) %
                   QStringLiteral("</B>").repeated(depth) % u"</DIV>");
    EXPECT_EQ(pageText(), expected);
}

struct FormCase {
    const char* what;
    const char* query; // the query element, if any
    bool button;
    bool valueSet;
    bool clicked;
    const char* shown; // what the button's handler wrote, empty when it did not run
};

constexpr const char* queryButton =
    R"(<button name="query-btn" onclick="document.getElementById('out').textContent =)"
    R"( 'ran:' + (document.getElementsByName('query')[0] || {value: 'none'}).value">go</button>)";

class SubmitSteps : public WebBrowserTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(SubmitSteps, EachStepFailsAlone) {
    const FormCase& c = GetParam();
    ASSERT_TRUE(load(page(QString::fromUtf8(c.query) %
                          QString::fromUtf8(c.button ? queryButton : "") % u"<p id=\"out\"></p>")));
    EXPECT_EQ(setValue(QStringLiteral("query"), QStringLiteral("连衣裙")), c.valueSet);
    EXPECT_EQ(click(QStringLiteral("query-btn")), c.clicked);
    EXPECT_EQ(evaluate(QStringLiteral("document.getElementById('out').textContent")).toString(),
              QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubmitSteps,
    ::testing::Values(
        FormCase{"input", R"(<input name="query" value="qq">)", true, true, true, "ran:连衣裙"},
        FormCase{"textarea", R"(<textarea name="query"></textarea>)", true, true, true,
                 "ran:连衣裙"},
        FormCase{"no_button", R"(<input name="query">)", false, true, false, ""},
        FormCase{"no_query", "", true, false, true, "ran:none"},
        FormCase{"neither", "<p>nothing here</p>", false, false, false, ""},
        FormCase{"value_refused", R"(<input type="file" name="query">)", true, false, true, "ran:"},
        FormCase{"id_is_not_name", R"(<input id="query">)", true, false, true, "ran:none"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(WebBrowserTest, ValuesAndNamesArriveIntact) {
    ASSERT_TRUE(
        load(page(QStringLiteral(R"(<textarea name="query"></textarea>)"
                                 R"(<textarea name='odd "name" \ </script>'></textarea>)"))));
    const QString values[] = {
        QStringLiteral(R"(say "hi" and 'bye')"),
        QStringLiteral(R"(back\slash \n \" \u0041)"),
        QStringLiteral("</script><script>document.title = 'hacked'</script>"),
        QStringLiteral("line one\nline two\n"),
        QString::fromUtf8("'); document.title = 'hacked'; ('"),
        QString::fromUtf8("${document.title} ` \u2028 \u2029 中文"),
        QString(),
    };
    for (const QString& value : values) {
        SCOPED_TRACE(value.toStdString());
        EXPECT_TRUE(setValue(QStringLiteral("query"), value));
        EXPECT_EQ(
            evaluate(QStringLiteral("document.getElementsByName('query')[0].value")).toString(),
            value);
    }
    const QString oddName = QStringLiteral(R"(odd "name" \ </script>)");
    EXPECT_TRUE(setValue(oddName, QStringLiteral("x")));
    EXPECT_EQ(
        evaluate(QStringLiteral("document.getElementsByTagName('textarea')[1].value")).toString(),
        QStringLiteral("x"));
    EXPECT_NE(view->page()->title(), QStringLiteral("hacked"));
}

TEST_F(WebBrowserTest, ClickThatChangesTheDocumentShowsInPageText) {
    ASSERT_TRUE(load(page(QStringLiteral(
        R"(<button name="query-btn" onclick="setTimeout(function () {)"
        R"~( document.getElementById('out').innerHTML = '<span class=\'up\'>5%</span>'; }, 50)">)~"
        R"(go</button><div id="out">old</div>)"))));
    EXPECT_TRUE(click(QStringLiteral("query-btn")));
    EXPECT_TRUE(pageTextComesToHold(QStringLiteral("<DIV id=out><SPAN class=up>5%</SPAN></DIV>")));
}

TEST_F(WebBrowserTest, DialogsDoNotHoldThePage) {
    ASSERT_TRUE(load(page(QStringLiteral(
        R"(<button name="query-btn" onclick="alert('a'); var ok = confirm('b');)"
        R"( var text = prompt('c', 'd'); document.getElementById('out').textContent =)"
        R"( 'after:' + ok + ':' + text">go</button><p id="out"></p>)"))));
    // Closes any dialog that does come up, so a fault fails the test instead of hanging it.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            ++dialogs;
            dialog->close();
        }
    });
    closer.start(500);
    EXPECT_TRUE(click(QStringLiteral("query-btn")));
    EXPECT_TRUE(pageTextComesToHold(QStringLiteral("<P id=out>after:false:null</P>")));
    EXPECT_EQ(dialogs, 0);
}

enum class Activation { mouse, script };

class NewWindowFromALink : public WebBrowserTest, public ::testing::WithParamInterface<Activation> {
protected:
    void activateLink() {
        if (GetParam() == Activation::script) {
            evaluate(QStringLiteral("var link = document.getElementById('link'); link.focus();"
                                    " link.click(); true"));
            return;
        }
        const QVariantList centre =
            evaluate(
                QStringLiteral("var r = document.getElementById('link').getBoundingClientRect();"
                               "[r.left + r.width / 2, r.top + r.height / 2]"))
                .toList();
        ASSERT_EQ(centre.size(), 2);
        QWidget* input = view->focusProxy();
        ASSERT_NE(input, nullptr);
        QTest::mouseClick(input, Qt::LeftButton, {},
                          QPoint(qRound(centre[0].toDouble()), qRound(centre[1].toDouble())));
    }
};

TEST_P(NewWindowFromALink, IsRefusedAndTheLinkCanBeFollowed) {
    test::HttpTestServer server(
        [](const test::HttpRequest&) { return test::httpReply(200, "<p>second</p>"); });
    ASSERT_TRUE(server.listening());
    const QString target = server.url("/second");
    ASSERT_TRUE(load(page(u"<a id=\"link\" target=\"_blank\" href=\"" % target %
                          u"\" style=\"font-size: 40px\">next</a>")));
    EXPECT_EQ(activeHref(), std::nullopt); // the body has the focus
    const int windows = QApplication::topLevelWidgets().size();
    QSignalSpy refused(browser.get(), &WebEngineBrowser::newWindowRequested);

    activateLink();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.isEmpty(); }, waitMs));
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    EXPECT_EQ(view->url(), QUrl(QStringLiteral("http://test.local/")));
    const std::optional<QString> href = activeHref();
    ASSERT_EQ(href, target);

    QSignalSpy finished(view->page(), &QWebEnginePage::loadFinished);
    browser->navigate(*href);
    ASSERT_TRUE(finished.wait(waitMs));
    EXPECT_EQ(pageText(), QStringLiteral("<HEAD></HEAD><BODY><P>second</P></BODY>"));
    EXPECT_EQ(refused.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Activations, NewWindowFromALink,
                         ::testing::Values(Activation::mouse, Activation::script),
                         [](const auto& info) {
                             return std::string(info.param == Activation::mouse ? "mouse"
                                                                                : "script");
                         });

// The browser as the index run sees it, with every load it is asked for.
class RecordingBrowser final : public Browser {
public:
    explicit RecordingBrowser(Browser& real) : real_(real) {}
    void navigate(const QString& address) override {
        loads.append(address);
        real_.navigate(address);
    }
    void setValue(const QString& name, const QString& value,
                  std::function<void(bool)> done) override {
        real_.setValue(name, value, std::move(done));
    }
    void click(const QString& name, std::function<void(bool)> done) override {
        real_.click(name, std::move(done));
    }
    void pageText(std::function<void(QString)> done) override { real_.pageText(std::move(done)); }
    QString address() const override { return real_.address(); }
    void activeHref(std::function<void(std::optional<QString>)> done) override {
        real_.activeHref(std::move(done));
    }
    QStringList loads;

private:
    Browser& real_;
};

// A page's link to a new window makes the index run load it here only when
// it is a web address: never a local file.
TEST_F(WebBrowserTest, ALinkToANewWindowLoadsOnlyWebPages) {
    RecordingBrowser recording(*browser);
    RowList results;
    test::FakeTimer timer;
    test::FakeTextBox interval;
    StepGate gate;
    IndexRun run(results, timer, recording, interval, gate);
    QObject::connect(browser.get(), &WebEngineBrowser::newWindowRequested, browser.get(),
                     [&] { run.openRefusedWindowHere(); });
    const struct {
        QString href;
        bool loads;
    } cases[] = {{QStringLiteral("file:///etc/hostname"), false},
                 {QStringLiteral("http://test.local/next"), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.href.toStdString());
        recording.loads.clear();
        ASSERT_TRUE(load(page(u"<a id=link target=_blank href=\"" + c.href + u"\">next</a>")));
        // Connected after the run's handler: by the time the spy hears of the
        // refusal, the handler has asked the page for the link's address, so
        // the answer to a script sent now comes after that one.
        QSignalSpy refused(browser.get(), &WebEngineBrowser::newWindowRequested);
        evaluate(
            QStringLiteral("var l = document.getElementById('link'); l.focus(); l.click(); 1"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.isEmpty(); }, waitMs));
        evaluate(QStringLiteral("1"));
        EXPECT_EQ(recording.loads, c.loads ? QStringList{c.href} : QStringList{});
    }
}

TEST_F(WebBrowserTest, NewWindowFromAScriptIsRefusedWithNoAddressToFollow) {
    ASSERT_TRUE(load(page(QStringLiteral("<p>x</p>"))));
    const int windows = QApplication::topLevelWidgets().size();
    QSignalSpy refused(browser.get(), &WebEngineBrowser::newWindowRequested);
    evaluate(QStringLiteral("window.open('http://test.local/popup'); true"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.isEmpty(); }, waitMs));
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    EXPECT_EQ(activeHref(), std::nullopt);
    EXPECT_EQ(view->url(), QUrl(QStringLiteral("http://test.local/")));
}

TEST_F(WebBrowserTest, ActiveHrefNeedsAFocusedAddress) {
    ASSERT_TRUE(load(page(QStringLiteral(R"(<input id="box"><a id="bare">no address</a>)"
                                         R"(<a id="link" href="/next">next</a>)"))));
    evaluate(QStringLiteral("document.getElementById('box').focus()"));
    EXPECT_EQ(activeHref(), std::nullopt);
    evaluate(QStringLiteral("document.getElementById('link').focus()"));
    EXPECT_EQ(activeHref(), QStringLiteral("http://test.local/next"));
}

TEST_F(WebBrowserTest, DocumentWithoutRootGivesNothing) {
    ASSERT_TRUE(load(page(QStringLiteral(R"(<input name="query"><a href="/x">x</a>)"))));
    evaluate(QStringLiteral("document.removeChild(document.documentElement); true"));
    EXPECT_EQ(pageText(), QString());
    EXPECT_FALSE(setValue(QStringLiteral("query"), QStringLiteral("x")));
    EXPECT_FALSE(click(QStringLiteral("query")));
    EXPECT_EQ(activeHref(), std::nullopt);
}

TEST_F(WebBrowserTest, PageThatAsksToStayIsLeftAnyway) {
    ASSERT_TRUE(load(page(QStringLiteral(
        R"(<p style="font-size: 40px">stay</p><script>window.addEventListener('beforeunload',)"
        R"( function (e) { e.preventDefault(); e.returnValue = 'stay'; });</script>)"))));
    // The leave-page question is only asked of a page the user has touched.
    QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, QPoint(20, 20));
    QSignalSpy finished(view->page(), &QWebEnginePage::loadFinished);
    browser->navigate(QStringLiteral("data:text/html,<b>left</b>"));
    ASSERT_TRUE(finished.wait(waitMs));
    EXPECT_EQ(pageText(), QStringLiteral("<HEAD></HEAD><BODY><B>left</B></BODY>"));
}

TEST_F(WebBrowserTest, AnswerThatComesTooLateCountsAsFailure) {
    ASSERT_TRUE(load(page(QStringLiteral("<p>busy page</p>"))));
    browser->setAnswerTimeout(200ms);
    bool busyDone = false;
    view->page()->runJavaScript(
        QStringLiteral("var t = Date.now(); while (Date.now() - t < 1500) {} true"),
        [&](const QVariant&) { busyDone = true; });
    int answers = 0;
    QString text = QStringLiteral("unset");
    browser->pageText([&](QString value) {
        text = value;
        ++answers;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers > 0; }, waitMs));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(busyDone);
    // The real answer still arrives later and must not count a second time.
    ASSERT_TRUE(QTest::qWaitFor([&] { return busyDone; }, waitMs));
    evaluate(QStringLiteral("true"));
    EXPECT_EQ(answers, 1);
}

TEST_F(WebBrowserTest, AdapterGoneWithAScriptInFlight) {
    ASSERT_TRUE(load(page(QStringLiteral("<p>x</p>").repeated(20000))));
    int answers = 0;
    browser->pageText([&](QString) { ++answers; });
    browser->click(QStringLiteral("nothing"), [&](bool) { ++answers; });
    browser.reset();
    evaluate(QStringLiteral("true")); // runs after the adapter's scripts
    QTest::qWait(50);
    EXPECT_EQ(answers, 0);
    // The page stays with the view and still refuses new windows.
    const int windows = QApplication::topLevelWidgets().size();
    evaluate(QStringLiteral("window.open('about:blank'); true"));
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
}

TEST_F(WebBrowserTest, PageGoneWithAScriptInFlight) {
    ASSERT_TRUE(load(page(QStringLiteral("<p>x</p>").repeated(20000))));
    int answers = 0;
    QString text = QStringLiteral("unset");
    browser->pageText([&](QString value) {
        text = value;
        ++answers;
    });
    view.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answers > 0; }, waitMs));
    EXPECT_TRUE(text.isEmpty());
    QTest::qWait(100);
    EXPECT_EQ(answers, 1);
    bool clicked = true;
    browser->click(QStringLiteral("query-btn"), [&](bool ok) { clicked = ok; });
    EXPECT_FALSE(clicked); // no page: answered at once
}

} // namespace
} // namespace quilla
