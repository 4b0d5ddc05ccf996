#pragma once

#include "net/page_fetch.h"

#include <QHash>
#include <QStringList>

namespace quilla::test {

// Answers from a table of address → page; an unknown address gets "".
class FakeFetcher final : public PageFetcher {
public:
    QString gethtml(const QString& address) override {
        asked.append(address);
        return pages.value(address);
    }
    QHash<QString, QString> pages;
    QStringList asked;
};

} // namespace quilla::test
