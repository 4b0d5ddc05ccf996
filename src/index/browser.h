#pragma once

// What the index run asks of the embedded browser. A real page answers
// asynchronously, so each query reports through a callback, which may come
// at once (a fake) or later (Qt WebEngine).

#include <QString>

#include <functional>
#include <optional>

namespace quilla {

class Browser {
public:
    virtual ~Browser() = default;

    // Start loading in this same view; nothing waits for the page.
    virtual void navigate(const QString& address) = 0;
    // The address of the page shown now.
    virtual QString address() const = 0;

    // Set the value of the element bearing `name`; false when there is no
    // document or no such element.
    virtual void setValue(const QString& name, const QString& value,
                          std::function<void(bool)> done) = 0;
    // Click the element bearing `name`; false as above.
    virtual void click(const QString& name, std::function<void(bool)> done) = 0;

    // The markup of the root element's content, serialised with upper-case
    // tag names and unquoted simple attribute values; empty without a document.
    virtual void pageText(std::function<void(QString)> done) = 0;

    // The address of the focused element, when it has one.
    virtual void activeHref(std::function<void(std::optional<QString>)> done) = 0;
};

} // namespace quilla
