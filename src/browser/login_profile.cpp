#include "browser/login_profile.h"

#include <QDir>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace quilla {

QWebEngineProfile* makeLoginProfile(const QString& dataFolder, QObject* parent) {
    if (dataFolder.isEmpty())
        return new QWebEngineProfile(parent); // off the record
    auto* profile = new QWebEngineProfile(QStringLiteral("quilla"), parent);
    const QDir folder(QDir(dataFolder).filePath(QLatin1StringView(browserProfileFolder)));
    profile->setPersistentStoragePath(folder.filePath(QStringLiteral("storage")));
    profile->setCachePath(folder.filePath(QStringLiteral("cache")));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    // A login kept only as a session cookie would otherwise end with the program.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    return profile;
}

void forgetLogin(QWebEngineProfile& profile) {
    profile.cookieStore()->deleteAllCookies();
    profile.clearHttpCache();
}

} // namespace quilla
