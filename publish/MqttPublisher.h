// Publishes every cycle's readings, the run's status and the sensors' discovery messages to a broker.
#pragma once

#include "logging/Readings.h"
#include "publish/MqttOptions.h"

#include <QObject>
#include <functional>
#include <memory>
#include <thread>

namespace publish {

struct Outbox;

class MqttPublisher : public QObject, public logging::ReadingsListener
{
    Q_OBJECT

public:
    // Connection changes are told to `tell` on this object's thread, one line per change.
    using LineSink = std::function<void(const QString &line)>;

    // Starts connecting at once, on a thread of its own: nothing here ever waits for the network. The
    // password in `settings`, and in every copy that shares it, is overwritten once the connection has it.
    MqttPublisher(const MqttSettings &settings, LineSink tell);
    // Publishes "offline" and disconnects, waiting for that a short while at most.
    ~MqttPublisher() override;

    // logging::ReadingsListener: hand the messages over and return; they go out when the broker takes
    // them, only the latest per topic while it does not.
    void runStarted(const logging::RunRecord &run) override;
    void cycleEnded(const logging::CycleRecord &cycle) override;

private:
    // Hands the discovery messages of the run's sensors over, expiring after three periods.
    void announce(int32_t periodMs);

    MqttSettings m_settings;
    LineSink m_tell;
    std::shared_ptr<Outbox> m_outbox;
    std::thread m_thread;
    QList<logging::RomCode> m_roms; // the run's sensors
    int32_t m_announcedPeriodMs = 0;
};

} // namespace publish
