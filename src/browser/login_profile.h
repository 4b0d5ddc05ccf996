#pragma once

// The browser's profile: where the marketplace's login lives between starts,
// shared by the window and the command line.

#include <QString>

class QObject;
class QWebEngineProfile;

namespace quilla {

// The folder below the program's data folder that holds the profile.
inline constexpr const char* browserProfileFolder = "browser";

// A named profile stored in `dataFolder`: its cookies (those of a session
// too, as a login often is one) and its cache outlive the program. Without a
// data folder the profile keeps nothing on disk (tests).
QWebEngineProfile* makeLoginProfile(const QString& dataFolder, QObject* parent = nullptr);

// "清除登录": the profile's cookies and HTTP cache go, the stored ones too.
void forgetLogin(QWebEngineProfile& profile);

} // namespace quilla
