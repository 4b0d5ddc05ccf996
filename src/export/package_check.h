#pragma once

// Reading back a finished workbook package before it takes its name. The
// writing library copies each part through a temporary file and does not
// notice when those writes fail: the package then closes without complaint
// around empty or cut parts. Only reading it back tells.

#include <QString>

#include <optional>
#include <stop_token>

namespace quilla {

// Why the zip package at `path` is not whole, or nothing when every part
// inflates to its recorded size and checksum, none is empty, and every XML
// part parses to its end. A stop request ends the reading early with a reason.
std::optional<QString> packageFault(const QString& path, std::stop_token stop = {});

} // namespace quilla
