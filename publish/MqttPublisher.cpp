// The publisher: the window's thread only hands messages over; a thread of its own owns the connection.
#include "publish/MqttPublisher.h"

#include "publish/MqttConnection.h"
#include "publish/MqttMessages.h"

#include <QMetaObject>

namespace publish {

using namespace std::chrono_literals;

MqttPublisher::MqttPublisher(const MqttSettings &settings, LineSink tell)
    : m_settings(settings)
    , m_tell(std::move(tell))
    , m_outbox(std::make_shared<Outbox>())
{
    // The connection alone needs the password, and wipes it.
    m_settings.password.reset();
    // Lines come from the connection's thread and are told on this object's, never once it is going:
    // the thread may outlive it.
    auto toThisThread = [this, outbox = m_outbox](const QString &line) {
        std::lock_guard lock(outbox->mutex);
        if (!outbox->stop)
            QMetaObject::invokeMethod(
                this, [this, line] { m_tell(line); }, Qt::QueuedConnection);
    };
    m_thread = std::thread(
        [connection = std::make_shared<Connection>(settings, m_outbox, toThisThread)] { connection->run(); });
}

MqttPublisher::~MqttPublisher()
{
    {
        std::lock_guard lock(m_outbox->mutex);
        m_outbox->stop = true;
    }
    m_outbox->wake.notify_all();
    // A broker given by name is looked up on the connection's thread, and a lookup cannot be cut short:
    // the program's end does not wait for one that hangs.
    bool finished = false;
    {
        std::unique_lock lock(m_outbox->mutex);
        finished = m_outbox->wake.wait_for(
            lock, Connection::OfflineWait + 1s, [this] { return m_outbox->finished; });
    }
    if (finished)
        m_thread.join();
    else
        m_thread.detach();
}

void MqttPublisher::runStarted(const logging::RunRecord &run)
{
    m_roms = run.roms;
    announce(run.intervalMs);
}

void MqttPublisher::announce(int32_t periodMs)
{
    m_announcedPeriodMs = periodMs;
    if (m_roms.isEmpty())
        return;
    std::map<QByteArray, Message> discovery;
    for (qsizetype i = 0; i < m_roms.size(); ++i)
        discovery[discoveryTopic(m_settings, m_roms[i]).toUtf8()]
            = {discoveryConfig(m_settings, int(i), m_roms[i], periodMs), true};
    std::lock_guard lock(m_outbox->mutex);
    m_outbox->discovery = std::move(discovery);
    m_outbox->discoveryDue = true;
}

void MqttPublisher::cycleEnded(const logging::CycleRecord &cycle)
{
    // Readings that come less often than announced would expire while they are still being read.
    if (expireAfterSeconds(cycle.periodMs) > expireAfterSeconds(m_announcedPeriodMs))
        announce(cycle.periodMs);
    std::lock_guard lock(m_outbox->mutex);
    for (const logging::SensorReading &sensor : cycle.sensors)
        if (sensor.celsius)
            m_outbox->due[temperatureTopic(m_settings, sensor.rom).toUtf8()]
                = {readingPayload(*sensor.celsius), false};
}

} // namespace publish
