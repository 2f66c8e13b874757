// The serial port as the KA7700 link uses it: a seam so tests can script the adapter byte by byte.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

namespace serial {

enum class OpenResult {
    Opened,
    NoSuchDevice,
    PermissionDenied,
    InUse,
    Failed, // exists but cannot be opened or set up as a serial line
};

class Port
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~Port() = default;

    // Opens the device raw at 9600 baud 8N1, without flow control, DTR and RTS on.
    virtual OpenResult open(const QString &path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // True once the device has gone away (unplugged) since it was opened; the port must be reopened.
    virtual bool lost() const = 0;

    virtual bool setBaudRate(int baud) = 0;
    virtual bool setBreak(bool on) = 0;
    // Lets the line stay idle for a while; scripted ports return at once.
    virtual void pause(std::chrono::milliseconds duration) = 0;

    // Hands every byte to the device; false when the port failed.
    virtual bool write(const QByteArray &bytes) = 0;
    // Waits until the bytes written have left the line, not just the program.
    virtual void drain() { }
    // Gives up to count bytes, fewer when the deadline passes first.
    virtual QByteArray read(int count, Clock::time_point deadline) = 0;
    // True when input is already waiting, without waiting for more.
    virtual bool hasInput() = 0;
    // Drops everything received and not read yet.
    virtual void clearInput() = 0;
};

} // namespace serial
