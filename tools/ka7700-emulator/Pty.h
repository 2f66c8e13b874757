// The pseudo-terminal the emulator answers on: its master side, a pipe to wake a wait on it, and a
// watch on the host's opens of the slave side, each closed with the object.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>

namespace emulator {

// A file descriptor that closes itself.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1)
        : m_fd(fd)
    { }
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);

private:
    int m_fd;
};

class Pty
{
public:
    // What woke a wait.
    struct Ready
    {
        bool watch = false; // the host opened or closed the slave side
        bool input = false; // the host sent bytes
        bool hangUp = false; // without a watch: nobody holds the slave side
    };
    // A change of the host's opens: +1 for the first open, -1 for the last close.
    enum class HostChange { None, Opened, Closed };

    // Creates the pseudo-terminal; false (with errorString()) when that fails.
    bool open();
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    bool watching() const { return m_watch.valid(); }

    // Waits up to `timeout` for the wake pipe, the watch, and (when `host`) the host's bytes.
    Ready wait(std::chrono::microseconds timeout, bool host);
    // From any thread: ends the current or next wait.
    void wake();
    // The host's opens and closes since the last look, as the net change of whether it holds the port.
    template<class F> void watchOpens(F onChange)
    {
        for (const int event : readOpenEvents())
            if (const HostChange change = count(event); change != HostChange::None)
                onChange(change);
    }
    bool hostHoldsPort() const { return m_hostFiles > 0; }

    // What the host sent, and the rate it set on its side (0 when unknown).
    QByteArray readHost();
    int hostBaud() const;
    void write(const QByteArray &bytes);

private:
    QList<int> readOpenEvents(); // +1 per open, -1 per close
    HostChange count(int event);

    FileDescriptor m_master;
    FileDescriptor m_watch;
    FileDescriptor m_wakeRead;
    FileDescriptor m_wakeWrite;
    QString m_slavePath;
    QString m_error;
    int m_hostFiles = 0; // the host's open files on the slave side
};

} // namespace emulator
