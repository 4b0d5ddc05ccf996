#include "links/links.h"

#include <QDesktopServices>
#include <QUrl>

namespace quilla {
namespace links {

QString contactLink() {
    return QStringLiteral("tencent://message/?uin=1184378200&&Site=Quilla软件&&Menu=yes");
}

QString homePage() {
    return QStringLiteral("http://www.quilla-soft.com/");
}

QString promotionTracking() {
    return QStringLiteral(
        "r%2Fnmmpk6oENt2clJBN02aApafRDuNu5IzLWaldfShkJIO1UX%2BSH5LZdzytKdkcPemhF%2BWG3cKRqoXbUf9g%"
        "2BcOoj%2F1tbYPSL1Lxg07CsILTUJjAd2wl8Vp05Y8YPwmCDC%2F1CmHKJENM7h4aaEsjmKAmVjqsh%2BR851Wqv"
        "rCSLtA8JPtV%2FjM1Gy16jAlGFcGiqp%3D%3D");
}

QString promotionLink() {
    return QStringLiteral("http://s.click.taobao.com/t?e=") + promotionTracking();
}

} // namespace links

void DesktopOpener::open(const QString& address) {
    // Tolerant parsing keeps the contact link's plain-text product name and
    // doubled ampersands as they are.
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

} // namespace quilla
