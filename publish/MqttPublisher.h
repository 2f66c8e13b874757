// Publishes every cycle's readings, the run's status, the sensors' alarms and availability, and the
// discovery messages to a broker.
#pragma once

#include "logging/LineSink.h"
#include "logging/Readings.h"
#include "publish/MqttDiscovery.h"
#include "publish/MqttOptions.h"

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <thread>

namespace publish {

struct Outbox;
struct Message;

class MqttPublisher : public QObject, public logging::ReadingsListener
{
    Q_OBJECT

public:
    // Starts connecting at once, on a thread of its own: nothing here ever waits for the network. The
    // password in `settings`, and in every copy that shares it, is overwritten once the connection has it.
    // Connection changes are told to `tell` on this object's thread, one line per change.
    MqttPublisher(const MqttSettings &settings, logging::LineSink tell);
    // Publishes "offline" and disconnects, waiting for that a short while at most.
    ~MqttPublisher() override;

    // The COM port a run reads, asked at every START: its sensors belong to the device of that port.
    void setPortSource(std::function<int()> port) { m_port = std::move(port); }

    // logging::ReadingsListener: hand the messages over and return; they go out when the broker takes
    // them, only the latest per topic while it does not.
    void runStarted(const logging::RunRecord &run) override;
    void cycleEnded(const logging::CycleRecord &cycle) override;

private:
    // Hands the discovery messages of the run's sensors over, expiring after three periods.
    void announce(int32_t periodMs);
    // The sensors an earlier run announced and this START did not find; remembers this run's.
    QList<logging::RomCode> takeMissing();
    // The retained state of the run's sensors and of the missing ones, as START leaves them.
    std::map<QByteArray, Message> startStates(const QList<logging::RomCode> &missing) const;
    // A retained state, sent now and again on every connection; the outbox's lock must be held.
    void putState(const QString &topic, const QByteArray &payload);

    MqttSettings m_settings;
    logging::LineSink m_tell;
    std::shared_ptr<Outbox> m_outbox;
    std::thread m_thread;
    std::function<int()> m_port;
    BusDevice m_bus;
    QList<SensorEntity> m_sensors; // the run's, by index
    QList<bool> m_available; // as last published, by index
    int32_t m_announcedPeriodMs = 0;
};

} // namespace publish
