#include "links/links.h"

#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

namespace quilla {
namespace {

TEST(Links, ContactLinkKeepsItsDoubledAmpersandsAndPlainProductName) {
    const QRegularExpression form(
        QString::fromUtf8("^tencent://message/\\?uin=[0-9]+&&Site=Quilla软件&&Menu=yes$"));
    EXPECT_TRUE(form.match(links::contactLink()).hasMatch()) << links::contactLink().toStdString();
}

TEST(Links, PromotionLinkCarriesAnEncodedTrackingValueOf214Characters) {
    const QString link = links::promotionLink();
    ASSERT_TRUE(link.startsWith(QStringLiteral("http://s.click.taobao.com/t?e=")));
    const QString value = links::promotionTracking();
    EXPECT_EQ(value.size(), 214);
    EXPECT_EQ(link.mid(30), value);
    // Only unreserved characters and well-formed escapes: it travels as it is.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([A-Za-z0-9._~-]|%[0-9A-F]{2})+$"))
                    .match(value)
                    .hasMatch());
    const QUrl url(link, QUrl::StrictMode);
    EXPECT_TRUE(url.isValid());
    EXPECT_EQ(url.path(), QStringLiteral("/t"));
}

TEST(Links, HomePageIsASiteRoot) {
    const QUrl url(links::homePage(), QUrl::StrictMode);
    EXPECT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), QStringLiteral("http"));
    EXPECT_EQ(url.path(), QStringLiteral("/"));
}

} // namespace
} // namespace quilla
