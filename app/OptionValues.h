// What several options share: whole numbers in a range, files that can be read or written, short paths.
#pragma once

#include <QString>
#include <optional>

namespace app {

// Whole decimal digits from `lowest` to `highest`; nothing for anything else.
std::optional<int> parseNumber(const QString &text, int lowest, int highest);

// The message for a FIFO, a device or a folder named where a file is read or written, which could hang
// the program for ever; nothing for a regular file or none at all.
QString specialFileError(const QString &option, const QString &path);

// "~/KX4136_log.txt" rather than the full path of whoever asked for the help.
QString homeShort(const QString &path);

} // namespace app
