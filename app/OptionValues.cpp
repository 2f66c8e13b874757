// What several options share: whole numbers in a range, files that can be read or written, short paths.
#include "app/OptionValues.h"

#include "logging/FileAccess.h"

#include <QFileInfo>

namespace app {

std::optional<int> parseNumber(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    return ok && number >= lowest && number <= highest ? std::optional(number) : std::nullopt;
}

QString specialFileError(const QString &option, const QString &path)
{
    const QFileInfo file(path);
    return file.exists() && !file.isFile()
        ? QStringLiteral("--%1 takes a regular file, not '%2'.").arg(option, path)
        : QString();
}

QString homeShort(const QString &path)
{
    const QString home = logging::homeFolder();
    return !home.isEmpty() && path.startsWith(home + u'/') ? u'~' + path.mid(home.size()) : path;
}

} // namespace app
