// Test port: plays the adapter from a byte trace or a responder and records what the link did to it.
#pragma once

#include "driver/serial/Port.h"

#include <QStringList>
#include <functional>
#include <memory>

namespace serialtest {

// A byte trace: "> C5" bytes the host must send, "< CD" bytes the adapter answers as soon as everything
// before them has been sent, "!" a break. Bytes that differ from the trace stop all answers.
class Script
{
public:
    explicit Script(const QString &trace);

    QByteArray written(const QByteArray &bytes);
    void breakSent();
    bool finished() const { return m_mismatch.isEmpty() && m_item == m_items.size(); }
    QString mismatch() const { return m_mismatch; }

private:
    struct Item
    {
        char kind; // '>', '<' or '!'
        QByteArray bytes;
    };

    QByteArray releaseAnswers();
    void fail(const QString &what);

    std::vector<Item> m_items;
    std::size_t m_item = 0;
    qsizetype m_offset = 0;
    qsizetype m_sentTotal = 0;
    QString m_mismatch;
};

// Everything the port and the test share; the link owns the port, the test keeps this.
struct PortState
{
    std::function<QByteArray(const QByteArray &written)> responder;
    std::function<void()> onBreak;
    serial::OpenResult openResult = serial::OpenResult::Opened;
    bool lost = false; // the device has gone: writes fail until it is opened again
    QByteArray input; // readable now

    bool open = false;
    int opens = 0;
    int breaks = 0;
    int baud = 9600;
    QByteArray sent;
    std::chrono::milliseconds waited {0}; // pauses, and reads that ran until their deadline
};

class ScriptedPort : public serial::Port
{
public:
    explicit ScriptedPort(std::shared_ptr<PortState> state);

    serial::OpenResult open(const QString &path) override;
    void close() override;
    bool isOpen() const override;
    bool lost() const override;
    bool setBaudRate(int baud) override;
    bool setBreak(bool on) override;
    void pause(std::chrono::milliseconds duration) override;
    bool write(const QByteArray &bytes) override;
    QByteArray read(int count, Clock::time_point deadline) override;
    bool hasInput() override;
    void clearInput() override;

private:
    std::shared_ptr<PortState> m_state;
};

// A port state that answers from `trace`; the script stays reachable for its verdict.
std::shared_ptr<PortState> scriptedState(const QString &trace, std::shared_ptr<Script> *script = nullptr);

QString hex(const QByteArray &bytes);

} // namespace serialtest
