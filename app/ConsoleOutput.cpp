// Standard output or error of a console run: a write never waits for the reader at the other end.
#include "app/ConsoleOutput.h"

#ifdef Q_OS_UNIX
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#else
#include <cstdio>
#endif

ConsoleOutput::ConsoleOutput(int fd, ConsoleOutput *notes)
    : fd_(fd)
    , notes_(notes)
{
#ifdef Q_OS_UNIX
    // A reader that went away must show as a failed write, not end the run and its log.
    std::signal(SIGPIPE, SIG_IGN);
    // A terminal that is not read makes even a small write wait: it is opened anew to be written
    // without waiting. The descriptor we were given keeps its flags, which it shares with the shell.
    const char *terminal = ::isatty(fd) ? ::ttyname(fd) : nullptr;
    ownFd_ = terminal ? ::open(terminal, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (ownFd_ >= 0)
        fd_ = ownFd_;
#endif
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ConsoleOutput::~ConsoleOutput()
{
    if (ownFd_ < 0)
        return;
#ifdef Q_OS_UNIX
    ::close(ownFd_);
#endif
}

qint64 ConsoleOutput::readData(char *, qint64)
{
    return -1;
}

qint64 ConsoleOutput::writeData(const char *data, qint64 size)
{
    if (closed_)
        return size;
    const QByteArray bytes(data, size);
    if (dropped_ > 0) {
        const QString note = QStringLiteral("%1 console line(s) dropped: the output was not read.\n");
        if (put(note.arg(dropped_).toLocal8Bit()))
            dropped_ = 0;
    }
    if (dropped_ > 0 || !put(bytes))
        dropped_ += bytes.count('\n');
    if (closed_ && notes_)
        notes_->write(
            "Standard output is closed: readings are no longer printed; the run and its log go on.\n");
    // Taken either way: a stream that saw a failure would stop writing for good.
    return size;
}

bool ConsoleOutput::put(const QByteArray &bytes)
{
    rest_.remove(0, writeSome(rest_));
    if (!rest_.isEmpty())
        return false;
    const qint64 written = writeSome(bytes);
    if (written == 0)
        return false;
    rest_ = bytes.mid(written);
    return true;
}

#ifdef Q_OS_UNIX

qint64 ConsoleOutput::writeSome(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size() && !closed_) {
        // Asked for every piece rather than setting the descriptor non-blocking, since its flags are
        // shared with the shell and whatever else writes to the same pipe: a pipe that is ready takes
        // PIPE_BUF bytes without waiting.
        pollfd ready {fd_, POLLOUT, 0};
        if (::poll(&ready, 1, 0) != 1)
            break;
        const auto piece = static_cast<size_t>(std::min<qint64>(bytes.size() - done, PIPE_BUF));
        const ssize_t written = ::write(fd_, bytes.constData() + done, piece);
        closed_ = written < 0 && errno == EPIPE;
        if (written <= 0)
            break;
        done += written;
    }
    return done;
}

#else

qint64 ConsoleOutput::writeSome(const QByteArray &bytes)
{
    // Written as the C library writes it: here a pipe nobody reads still makes the write wait.
    std::FILE *stream = fd_ == 2 ? stderr : stdout;
    const std::size_t written
        = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
    return static_cast<qint64>(written);
}

#endif
