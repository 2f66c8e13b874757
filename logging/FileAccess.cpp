// The platform's side of the log: the home folder, and opening a path without ever waiting for another
// process.
#include "logging/FileAccess.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace logging {

namespace {

const QString notRegular = QStringLiteral("not a regular file");

} // namespace

QString homeFolder()
{
#ifdef Q_OS_UNIX
    const QString home = QFile::decodeName(qgetenv("HOME"));
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());
    // Services and cron jobs may run without HOME: the account's own entry still names the folder.
    if (const passwd *account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir != nullptr) {
        const QString entry = QFile::decodeName(account->pw_dir);
        if (QDir::isAbsolutePath(entry) && QFileInfo(entry).isDir())
            return QDir::cleanPath(entry);
    }
    return QDir::cleanPath(QDir::currentPath());
#else
    return QDir::cleanPath(QDir::homePath());
#endif
}

bool fitsFileNameEncoding(const QString &path)
{
    if (path.contains(QChar::Null))
        return false;
#ifdef Q_OS_WIN
    // File names are UTF-16 there: every text fits.
    return true;
#else
    return QFile::decodeName(QFile::encodeName(path)) == path;
#endif
}

QString openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode)
{
    if (path.isEmpty())
        return QStringLiteral("no file name given");
    if (!fitsFileNameEncoding(path))
        return QStringLiteral("the name does not fit the system's file names");
    // Opening a FIFO or a device can wait for another process or have effects of its own: look first.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return notRegular;
#ifdef Q_OS_UNIX
    // Non-blocking as well, for a path that became something else since the look above.
    int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    flags |= mode.testFlag(QIODevice::WriteOnly) ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY;
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    if (fd < 0)
        return qt_error_string(errno);
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return notRegular;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
#else
    file.setFileName(path);
    return file.open(mode) ? QString() : file.errorString();
#endif
}

void syncToDisk(QFile &file)
{
#ifdef Q_OS_UNIX
    ::fsync(file.handle());
#else
    // Written data is in the system's hands; a crash of the program itself loses none of it.
    Q_UNUSED(file);
#endif
}

} // namespace logging
