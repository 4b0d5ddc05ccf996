#pragma once

// The three addresses that leave the program, and the one way they leave.

#include <QString>

namespace quilla {

// Opens an address with whatever the desktop has registered for its scheme;
// hands it over and returns at once, the outcome is not ours to use.
class AddressOpener {
public:
    virtual ~AddressOpener() = default;
    virtual void open(const QString& address) = 0;
};

namespace links {

QString contactLink();   // a chat with the maker in the user's messenger
QString homePage();      // the maker's home page
QString promotionLink(); // the marketplace promotion opened on closing

// The tracking value carried by the promotion link, already URL-encoded.
QString promotionTracking();

} // namespace links

// The desktop's own handler (xdg-open on Linux).
class DesktopOpener final : public AddressOpener {
public:
    void open(const QString& address) override;
};

} // namespace quilla
