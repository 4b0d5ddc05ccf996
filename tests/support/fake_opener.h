#pragma once

#include "links/links.h"

#include <QStringList>

namespace quilla::test {

// Records the addresses handed to the desktop instead of opening them.
class FakeOpener final : public AddressOpener {
public:
    void open(const QString& address) override { opened.append(address); }
    QStringList opened;
};

} // namespace quilla::test
