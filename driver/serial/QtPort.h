// The serial port of the real adapter, through QSerialPort.
#pragma once

#include "driver/serial/Port.h"

#include <QSerialPort>

namespace serial {

class QtPort : public Port
{
public:
    QtPort() = default;
    ~QtPort() override;

    OpenResult open(const QString &path) override;
    void close() override;
    bool isOpen() const override;
    bool lost() const override;

    bool setBaudRate(int baud) override;
    bool setBreak(bool on) override;
    void pause(std::chrono::milliseconds duration) override;

    bool write(const QByteArray &bytes) override;
    void drain() override;
    QByteArray read(int count, Clock::time_point deadline) override;
    bool hasInput() override;
    void clearInput() override;

private:
    void noteError();

    QSerialPort m_port;
    QString m_path;
    bool m_lost = false;
};

} // namespace serial
