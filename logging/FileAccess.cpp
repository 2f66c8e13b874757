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

#ifdef Q_OS_UNIX
QString trustProblem(const struct stat &status)
{
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (status.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    // Earlier versions made their files under a umask of 002 too: group write is the user's alone when
    // the group is the user's own.
    if ((status.st_mode & S_IWOTH) != 0 || ((status.st_mode & S_IWGRP) != 0 && status.st_gid != ::getegid()))
        return QStringLiteral("others can write to it");
    return QString();
}
#endif

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

QString untrustedReason(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? trustProblem(status) : QString();
#else
    // Only the user's own profile holds the folder there; a link is all that can lead elsewhere.
    return QFileInfo(path).isSymLink() ? QStringLiteral("it is a symbolic link") : QString();
#endif
}

QString openPrivateFile(QFile &file, const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(
        QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("it is a symbolic link") : qt_error_string(errno);
    struct stat status
    {
    };
    QString problem = ::fstat(fd, &status) != 0 ? qt_error_string(errno)
        : !S_ISREG(status.st_mode)              ? notRegular
                                                : trustProblem(status);
    if (problem.isEmpty() && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        problem = file.errorString();
    if (!problem.isEmpty())
        ::close(fd);
    return problem;
#else
    const QString problem = untrustedReason(path);
    return problem.isEmpty() ? openRegularFile(file, path, QIODevice::ReadOnly) : problem;
#endif
}

bool makePrivateFolder(const QString &path)
{
    const QFileInfo folder(path);
    if (!QDir().mkpath(folder.absolutePath()))
        return false;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // A folder an earlier version made for the user alone to use becomes the user's alone to read too.
    struct stat status
    {
    };
    if (::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & 077) != 0)
        ::chmod(name.constData(), 0700);
#endif
    return QDir().mkpath(path);
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
