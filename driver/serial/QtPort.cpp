// The serial port of the real adapter, through QSerialPort.
#include "driver/serial/QtPort.h"

#include <QFileInfo>
#include <thread>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <termios.h>
#elif defined(Q_OS_WIN)
#include <qt_windows.h>
#endif

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr auto WriteTimeout = 500ms;

// The adapter answers each request in a few bytes; the UART's default receive delay would dominate.
void requestLowLatency([[maybe_unused]] QSerialPort &port)
{
#ifdef Q_OS_LINUX
    serial_struct settings {};
    const int fd = static_cast<int>(port.handle());
    if (::ioctl(fd, TIOCGSERIAL, &settings) == 0) {
        settings.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &settings); // not every driver (a pseudo-terminal) allows it
    }
#endif
}

// The system reports a device it may not open and one that another program holds alike.
OpenResult permissionError([[maybe_unused]] const QString &path)
{
#ifdef Q_OS_WIN
    return OpenResult::InUse; // COMn has no file permissions: access denied means another owner
#else
    const QFileInfo file(path);
    return file.isReadable() && file.isWritable() ? OpenResult::InUse : OpenResult::PermissionDenied;
#endif
}

bool deviceExists(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // COMn is no file; a missing port shows when it is opened
#else
    return QFileInfo::exists(path);
#endif
}

int remainingMs(Port::Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Port::Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

} // namespace

QtPort::~QtPort()
{
    close();
}

OpenResult QtPort::open(const QString &path)
{
    close();
    m_path = path;
    m_lost = false;
    if (!deviceExists(path))
        return OpenResult::NoSuchDevice;
    m_port.setPortName(path);
    m_port.setBaudRate(9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto error = m_port.error();
        m_port.clearError();
        if (error == QSerialPort::DeviceNotFoundError)
            return OpenResult::NoSuchDevice;
        if (error == QSerialPort::PermissionError)
            return permissionError(path);
        return OpenResult::Failed;
    }
    // Adapters of this kind draw their supply from these lines; a pseudo-terminal has neither.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    requestLowLatency(m_port);
    return OpenResult::Opened;
}

void QtPort::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool QtPort::isOpen() const
{
    return m_port.isOpen();
}

bool QtPort::lost() const
{
    return m_port.isOpen() && (m_lost || !deviceExists(m_path));
}

bool QtPort::setBaudRate(int baud)
{
    return m_port.setBaudRate(baud);
}

bool QtPort::setBreak(bool on)
{
    return m_port.setBreakEnabled(on);
}

void QtPort::pause(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

bool QtPort::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size()) {
        noteError();
        return false;
    }
    const auto deadline = Clock::now() + WriteTimeout;
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(std::max(remainingMs(deadline), 1)) || Clock::now() >= deadline) {
            noteError();
            return m_port.bytesToWrite() == 0;
        }
    }
    return true;
}

void QtPort::drain()
{
    if (!m_port.isOpen())
        return;
#ifdef Q_OS_UNIX
    ::tcdrain(static_cast<int>(m_port.handle()));
#elif defined(Q_OS_WIN)
    ::FlushFileBuffers(m_port.handle());
#endif
}

QByteArray QtPort::read(int count, Clock::time_point deadline)
{
    if (!m_port.isOpen())
        return {};
    while (m_port.bytesAvailable() < count) {
        const int left = remainingMs(deadline);
        if (left == 0 || !m_port.waitForReadyRead(left)) {
            noteError();
            break;
        }
    }
    return m_port.read(count);
}

bool QtPort::hasInput()
{
    return m_port.bytesAvailable() > 0 || m_port.waitForReadyRead(0);
}

void QtPort::clearInput()
{
    m_port.clear(QSerialPort::Input);
}

void QtPort::noteError()
{
    const auto error = m_port.error();
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError)
        m_lost = true;
    m_port.clearError();
}

} // namespace serial
