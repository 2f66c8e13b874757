// The KA7700 serial adapter as a 1-Wire link: what each primitive operation sends and accepts.
#pragma once

#include "driver/onewire/Link.h"
#include "driver/serial/Port.h"
#include "driver/serial/Request.h"

#include <QString>
#include <memory>

namespace serial {

// Implements reset, touch bit, touch byte, the accelerated search pass and the strong pull-up.
// A call whose answer is missing, short or malformed fails alone; the adapter is then brought back
// (reopened if it went away, master reset, set up, checked) before the next call. Calls are never
// repeated here: whether to try again is the caller's choice.
// After detection at 9600 baud the adapter and the port move to `baud` when it is higher. A switch that
// fails, or two failed calls at the higher rate, leave the link at 9600 until it is closed.
class SerialLink : public onewire::Link
{
public:
    SerialLink(std::unique_ptr<Port> port, QString path, int baud = 9600);
    ~SerialLink() override;

    bool open() override;
    void close() override;
    QString device() const override { return m_path; }
    xw::StartFailure::Reason openFailure() const override { return m_openFailure; }

    onewire::ResetResult reset() override;
    std::optional<bool> touchBit(bool bit) override;
    std::optional<uint8_t> touchByte(uint8_t byte) override;
    // The block as one request of data bytes: at 9600 baud one write and one round trip, faster paced
    // by the answers as every request is; with the pull-up armed, byte by byte.
    bool touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in) override;
    bool setLevel(onewire::BusLevel level) override;
    std::optional<onewire::SearchPass> searchPass(const std::array<bool, 64> &directions) override;
    void recover() override { fail(); }

    int baudRate() const { return m_baud; }

private:
    // What a fresh start-up of the adapter must first undo.
    enum class Condition {
        Ready,
        Fresh, // just opened, or closed: a plain start-up
        Lost, // a call failed, so the adapter may be in any state: leave it by bytes before the break
    };
    // Whether the session may still use the rate it was asked for.
    enum class HighRate { Allowed, FailedOnce, Refused };

    bool ready();
    bool initialise();
    bool detect();
    // Detection's two halves: the adapter back at its power-up rate in command mode, then the setup
    // request and a reset that must answer as the adapter does.
    bool resetAdapter();
    bool probeAdapter();
    bool switchRate();
    void fail();

    // A request of one command with one answer that `valid` accepts.
    template<class Valid> std::optional<uint8_t> oneAnswer(uint8_t command, Valid valid);
    std::optional<QByteArray> exchange(const Request &request);

    std::unique_ptr<Port> m_port;
    QString m_path;
    bool m_opened = false;
    xw::StartFailure::Reason m_openFailure = xw::StartFailure::Reason::None;
    Condition m_condition = Condition::Fresh;
    LineState m_line;
    bool m_armed = false; // the pull-up is to follow the next byte
    bool m_busShorted = false; // the last detection found the adapter, but the bus held low
    int m_wantedBaud = 9600;
    int m_baud = 9600; // of the port, and of the adapter while it is set up
    bool m_rateUnsure = false; // a rate write went out: the adapter may be at another rate than the port
    HighRate m_highRate = HighRate::Allowed;
    std::chrono::milliseconds m_roundTrip {0}; // of the reset at the end of the last detection
};

} // namespace serial
