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

namespace app {

ConsoleOutput::ConsoleOutput(int fd, ConsoleOutput *notes)
    : m_fd(fd)
    , m_notes(notes)
{
#ifdef Q_OS_UNIX
    // A reader that went away must show as a failed write, not end the run and its log.
    std::signal(SIGPIPE, SIG_IGN);
    // A terminal that is not read makes even a small write wait: it is opened anew to be written
    // without waiting. The descriptor we were given keeps its flags, which it shares with the shell.
    const char *terminal = ::isatty(fd) ? ::ttyname(fd) : nullptr;
    m_ownFd = terminal ? ::open(terminal, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (m_ownFd >= 0)
        m_fd = m_ownFd;
#endif
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ConsoleOutput::~ConsoleOutput()
{
    if (m_ownFd < 0)
        return;
#ifdef Q_OS_UNIX
    ::close(m_ownFd);
#endif
}

qint64 ConsoleOutput::readData(char *, qint64)
{
    return -1;
}

qint64 ConsoleOutput::writeData(const char *data, qint64 size)
{
    if (m_closed)
        return size;
    const QByteArray bytes(data, size);
    if (m_dropped > 0) {
        const QString note
            = QStringLiteral("%1 console line(s) dropped: the output was not read.").arg(m_dropped);
        if (put(((m_ownLineFormat ? m_ownLineFormat(note) : note) + u'\n').toLocal8Bit()))
            m_dropped = 0;
    }
    if (m_dropped > 0 || !put(bytes))
        m_dropped += bytes.count('\n');
    if (m_closed && m_notes)
        m_notes->write(
            "Standard output is closed: readings are no longer printed; the run and its log go on.\n");
    // Taken either way: a stream that saw a failure would stop writing for good.
    return size;
}

bool ConsoleOutput::put(const QByteArray &bytes)
{
    m_rest.remove(0, writeSome(m_rest));
    if (!m_rest.isEmpty())
        return false;
    const qint64 written = writeSome(bytes);
    if (written == 0)
        return false;
    m_rest = bytes.mid(written);
    return true;
}

#ifdef Q_OS_UNIX

qint64 ConsoleOutput::writeSome(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size() && !m_closed) {
        // Asked for every piece rather than setting the descriptor non-blocking, since its flags are
        // shared with the shell and whatever else writes to the same pipe: a pipe that is ready takes
        // PIPE_BUF bytes without waiting.
        pollfd ready {m_fd, POLLOUT, 0};
        if (::poll(&ready, 1, 0) != 1)
            break;
        const auto piece = static_cast<size_t>(std::min<qint64>(bytes.size() - done, PIPE_BUF));
        const ssize_t written = ::write(m_fd, bytes.constData() + done, piece);
        m_closed = written < 0 && errno == EPIPE;
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
    std::FILE *stream = m_fd == 2 ? stderr : stdout;
    const std::size_t written
        = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
    return static_cast<qint64>(written);
}

#endif

} // namespace app
