// The publisher: the window's thread only hands messages over; a thread of its own owns the connection.
#include "publish/MqttPublisher.h"

#include "logging/Alarms.h"
#include "publish/MqttAnnounced.h"
#include "publish/MqttConnection.h"
#include "publish/MqttMessages.h"

#include <QMetaObject>
#include <QSysInfo>

namespace publish {

using namespace std::chrono_literals;

namespace {

const QByteArray Online("online");
const QByteArray Offline("offline");

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, logging::LineSink tell)
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
    m_bus = {QSysInfo::machineHostName(), m_port ? m_port() : 0, m_settings.simulatedBus};
    m_sensors.clear();
    for (qsizetype i = 0; i < run.roms.size(); ++i)
        m_sensors.append({static_cast<int>(i), run.roms[i], run.settings.value(i).name});
    m_available = QList<bool>(run.roms.size(), true);
    const std::map<QByteArray, Message> states = startStates(takeMissing());
    announce(run.intervalMs);
    std::lock_guard lock(m_outbox->mutex);
    m_outbox->states = states;
    for (const auto &[topic, message] : states)
        m_outbox->due.insert_or_assign(topic, message);
}

QList<logging::RomCode> MqttPublisher::takeMissing()
{
    const QString path = announcedFilePath(m_settings, m_bus);
    if (path.isEmpty())
        return {};
    const std::set<logging::RomCode> earlier = readAnnounced(path);
    std::set<logging::RomCode> now = m_settings.removeMissing ? std::set<logging::RomCode>() : earlier;
    QList<logging::RomCode> missing;
    for (const logging::RomCode &rom : earlier)
        if (std::none_of(
                m_sensors.begin(), m_sensors.end(), [&rom](const SensorEntity &s) { return s.rom == rom; }))
            missing.append(rom);
    for (const SensorEntity &sensor : std::as_const(m_sensors))
        now.insert(sensor.rom);
    if (now != earlier)
        if (const QString error = writeAnnounced(path, now); !error.isEmpty())
            m_tell(QStringLiteral("MQTT: cannot remember the announced sensors in %1 (%2)").arg(path, error));
    return missing;
}

std::map<QByteArray, Message> MqttPublisher::startStates(const QList<logging::RomCode> &missing) const
{
    std::map<QByteArray, Message> states;
    // The alarm states start again with every run: an older run's must not stay behind.
    for (const SensorEntity &sensor : m_sensors) {
        states[availabilityTopic(m_settings, sensor.rom).toUtf8()] = {Online, true};
        states[alarmTopic(m_settings, sensor.rom).toUtf8()]
            = {logging::alarmStateWord(logging::AlarmState::Ok).toUtf8(), true};
    }
    // An empty retained message removes what the broker keeps on a topic.
    for (const logging::RomCode &rom : missing) {
        if (!m_settings.removeMissing) {
            states[availabilityTopic(m_settings, rom).toUtf8()] = {Offline, true};
            continue;
        }
        for (const QString &topic : {discoveryTopic(m_settings, rom), alarmDiscoveryTopic(m_settings, rom),
                 availabilityTopic(m_settings, rom), alarmTopic(m_settings, rom)})
            states[topic.toUtf8()] = {QByteArray(), true};
    }
    return states;
}

void MqttPublisher::announce(int32_t periodMs)
{
    m_announcedPeriodMs = periodMs;
    if (m_sensors.isEmpty())
        return;
    std::map<QByteArray, Message> discovery;
    for (const SensorEntity &sensor : std::as_const(m_sensors)) {
        discovery[discoveryTopic(m_settings, sensor.rom).toUtf8()]
            = {discoveryConfig(m_settings, m_bus, sensor, periodMs), true};
        discovery[alarmDiscoveryTopic(m_settings, sensor.rom).toUtf8()]
            = {alarmDiscoveryConfig(m_settings, m_bus, sensor), true};
    }
    std::lock_guard lock(m_outbox->mutex);
    m_outbox->discovery = std::move(discovery);
    m_outbox->discoveryDue = true;
}

void MqttPublisher::putState(const QString &topic, const QByteArray &payload)
{
    const QByteArray key = topic.toUtf8();
    m_outbox->states[key] = {payload, true};
    m_outbox->due[key] = {payload, true};
}

void MqttPublisher::cycleEnded(const logging::CycleRecord &cycle)
{
    // A name given in the window during the run is the entity's name from now on.
    bool renamed = false;
    for (const logging::SensorReading &sensor : cycle.sensors)
        if (sensor.index >= 0 && sensor.index < m_sensors.size()
            && std::exchange(m_sensors[sensor.index].name, sensor.settings.name) != sensor.settings.name)
            renamed = true;
    // Readings that come less often than announced would expire while they are still being read.
    const bool slower = expireAfterSeconds(cycle.periodMs) > expireAfterSeconds(m_announcedPeriodMs);
    if (slower || renamed)
        announce(slower ? cycle.periodMs : m_announcedPeriodMs);
    std::lock_guard lock(m_outbox->mutex);
    for (const logging::SensorReading &sensor : cycle.sensors) {
        if (sensor.celsius)
            m_outbox->due[temperatureTopic(m_settings, sensor.rom).toUtf8()]
                = {readingPayload(*sensor.celsius), false};
        const bool available = sensor.alarm != logging::AlarmState::NotAnswering;
        if (sensor.index >= 0 && sensor.index < m_available.size()
            && std::exchange(m_available[sensor.index], available) != available)
            putState(availabilityTopic(m_settings, sensor.rom), available ? Online : Offline);
    }
    // Latest wins per topic while the broker is away: the alarm topic holds a state, not a history.
    for (const logging::AlarmChange &change : cycle.alarmChanges)
        putState(alarmTopic(m_settings, change.rom), logging::alarmStateWord(change.state).toUtf8());
}

} // namespace publish
