// Standard output or error of a console run: a write never waits for the reader at the other end.
#pragma once

#include <QIODevice>
#include <functional>

namespace app {

class ConsoleOutput : public QIODevice
{
public:
    // Writes to descriptor fd (1 or 2), opened for writing at once. Lines that cannot be written now
    // are dropped, and their count is printed before the next line that can. Once the reader is gone,
    // nothing more is written and `notes` (if any) says so once; the program is not ended by it.
    explicit ConsoleOutput(int fd, ConsoleOutput *notes = nullptr);
    ~ConsoleOutput() override;
    // Its own lines (how many were dropped) in the format of the others; as they are without it.
    void setOwnLineFormat(std::function<QString(const QString &)> format)
    {
        m_ownLineFormat = std::move(format);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    // True when the end of an earlier line has been written and `bytes` could be begun.
    bool put(const QByteArray &bytes);
    // The number of leading bytes written without waiting.
    qint64 writeSome(const QByteArray &bytes);

    int m_fd;
    int m_ownFd = -1; // a terminal opened anew, closed at the end
    ConsoleOutput *m_notes;
    QByteArray m_rest; // the end of a line only partly written, written before anything else
    qint64 m_dropped = 0;
    bool m_closed = false;
    std::function<QString(const QString &)> m_ownLineFormat;
};

} // namespace app
