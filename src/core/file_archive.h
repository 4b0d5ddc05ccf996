#pragma once

#include "core/ports.h"

namespace quilla {

// Pages kept as UTF-8 files in a folder, made when first needed.
class FileArchive final : public PageArchive {
public:
    explicit FileArchive(QString folder) : folder_(std::move(folder)) {}
    std::optional<QString> keep(const QString& name, const QString& text) override;

private:
    QString folder_;
};

} // namespace quilla
