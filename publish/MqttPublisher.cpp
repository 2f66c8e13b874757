// The publisher: the window's thread only hands messages over; a thread of its own owns the connection.
#include "publish/MqttPublisher.h"

#include "publish/MqttMessages.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mosquitto.h>
#include <mutex>

namespace publish {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Message
{
    QByteArray payload;
    bool retained = false;
};

// What the window's thread hands over. The lock is only ever held to copy a few messages in or out.
struct Outbox
{
    std::mutex mutex;
    std::condition_variable wake;
    // Topic -> the latest message not sent yet: an outage keeps one reading per sensor, not a queue.
    std::map<QByteArray, Message> due;
    // The last START's discovery messages, sent again on every connection: a broker that restarted
    // has lost them.
    std::map<QByteArray, Message> discovery;
    bool discoveryDue = false;
    bool stop = false;
    bool finished = false; // the connection's thread has let go of the library
};

namespace {

constexpr int keepAliveSeconds = 30;
constexpr auto loopWait = 100ms;
// A broker that took the connection but has not answered it by then is left for the next try.
constexpr auto answerWait = 10s;
constexpr auto firstRetryWait = 1s;
constexpr auto longestRetryWait = 60s;
// Sent but not yet acknowledged: past this, readings wait in the outbox (latest only) instead.
constexpr int mostInFlight = 100;
constexpr auto offlineWait = 2s;

std::once_flag libraryInit;

// The library's sentence as the middle of ours: "connection refused", not "Connection refused.", and
// "not authorised" for the broker's "Connection Refused: not authorised.".
QString reasonText(const char *sentence)
{
    QString reason = QString::fromLocal8Bit(sentence).remove(QStringLiteral("Connection Refused: "));
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return reason;
}

QString errorText(int rc)
{
    return rc == MOSQ_ERR_CONN_LOST ? QStringLiteral("closed by the broker")
        : rc == MOSQ_ERR_KEEPALIVE  ? QStringLiteral("no answer from the broker")
                                    : reasonText(mosquitto_strerror(rc));
}

// Runs on the publisher's thread from start to end; the only code that touches the library's handle.
class Connection
{
public:
    Connection(const MqttSettings &settings, std::shared_ptr<Outbox> outbox,
        std::function<void(const QString &)> tell)
        : m_settings(settings)
        , m_outbox(std::move(outbox))
        , m_tell(std::move(tell))
        , m_status(statusTopic(settings).toUtf8())
    { }

    void run();

private:
    static void onConnect(mosquitto *, void *self, int rc) { static_cast<Connection *>(self)->connected(rc); }
    static void onDisconnect(mosquitto *, void *self, int rc)
    {
        static_cast<Connection *>(self)->disconnected(rc);
    }
    static void onPublish(mosquitto *, void *self, int mid)
    {
        static_cast<Connection *>(self)->published(mid);
    }

    void configure();
    bool stopRequested();
    // Waits until `until` or a stop; true on the stop.
    bool waitUntil(Clock::time_point until);
    void startAttempt();
    void connected(int rc);
    void disconnected(int rc);
    void published(int mid);
    // The connection is gone or never came: tells it once per change and sets the next try.
    void lost(const QString &reason);
    void sendDue();
    bool send(const QByteArray &topic, const Message &message, int *mid = nullptr);
    void sayOffline();
    QString address() const;

    MqttSettings m_settings;
    std::shared_ptr<Outbox> m_outbox;
    std::function<void(const QString &)> m_tell;
    QByteArray m_status;
    mosquitto *m_mosq = nullptr;
    bool m_attempted = false;
    bool m_active = false; // the broker accepted the connection
    bool m_announce = false; // "online" and discovery are due on the new connection
    bool m_lossTold = false; // since the last change, the loss has been told
    bool m_everConnected = false;
    QString m_reason;
    Clock::time_point m_attemptStart;
    Clock::time_point m_nextAttempt;
    Clock::duration m_retryWait = firstRetryWait;
    int m_inFlight = 0;
    int m_offlineMid = -1;
    bool m_offlineSent = false;
};

void Connection::run()
{
    std::call_once(libraryInit, [] { mosquitto_lib_init(); });
    // A random client id with a clean session: nothing is kept for the logger between connections.
    m_mosq = mosquitto_new(nullptr, true, this);
    if (!m_mosq) {
        m_tell(QStringLiteral("MQTT: cannot start (out of memory)"));
        return;
    }
    configure();
    m_nextAttempt = Clock::now();
    while (!stopRequested()) {
        if (mosquitto_socket(m_mosq) < 0) {
            if (waitUntil(m_nextAttempt))
                break;
            startAttempt();
            continue;
        }
        if (m_active)
            sendDue();
        mosquitto_loop(m_mosq, int(std::chrono::milliseconds(loopWait).count()), 1);
        if (mosquitto_socket(m_mosq) < 0)
            lost(m_reason.isEmpty() ? QStringLiteral("closed by the broker") : m_reason);
        else if (!m_active && Clock::now() - m_attemptStart > answerWait) {
            m_reason = QStringLiteral("no answer from the broker");
            mosquitto_disconnect(m_mosq);
            lost(m_reason);
        }
    }
    sayOffline();
    mosquitto_destroy(m_mosq);
    {
        std::lock_guard lock(m_outbox->mutex);
        m_outbox->finished = true;
    }
    m_outbox->wake.notify_all();
}

void Connection::configure()
{
    const QByteArray offline("offline");
    mosquitto_will_set(
        m_mosq, m_status.constData(), int(offline.size()), offline.constData(), m_settings.qos, true);
    if (!m_settings.user.isEmpty()) {
        const QByteArray user = m_settings.user.toUtf8();
        const QByteArray password = m_settings.password.value_or(QString()).toUtf8();
        mosquitto_username_pw_set(
            m_mosq, user.constData(), m_settings.password ? password.constData() : nullptr);
    }
    if (!m_settings.caFile.isEmpty()) {
        const QByteArray caFile = m_settings.caFile.toLocal8Bit();
        mosquitto_tls_set(m_mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    mosquitto_connect_callback_set(m_mosq, &Connection::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &Connection::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &Connection::onPublish);
}

bool Connection::stopRequested()
{
    std::lock_guard lock(m_outbox->mutex);
    return m_outbox->stop;
}

bool Connection::waitUntil(Clock::time_point until)
{
    std::unique_lock lock(m_outbox->mutex);
    return m_outbox->wake.wait_until(lock, until, [this] { return m_outbox->stop; });
}

void Connection::startAttempt()
{
    m_reason.clear();
    m_active = false;
    m_attemptStart = Clock::now();
    const QByteArray host = m_settings.host.toUtf8();
    const int rc = std::exchange(m_attempted, true)
        ? mosquitto_reconnect_async(m_mosq)
        : mosquitto_connect_async(m_mosq, host.constData(), m_settings.port, keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // The library's text for a system error is the system's; it must be read before anything else runs.
        lost(errorText(rc));
    }
}

void Connection::connected(int rc)
{
    if (rc != 0) {
        m_reason = reasonText(mosquitto_connack_string(rc));
        return;
    }
    m_active = true;
    m_announce = true;
    m_inFlight = 0;
    m_retryWait = firstRetryWait;
    m_lossTold = false;
    m_everConnected = true;
    m_tell(QStringLiteral("MQTT: connected to %1").arg(address()));
}

void Connection::disconnected(int rc)
{
    m_active = false;
    if (rc != 0 && m_reason.isEmpty())
        m_reason = errorText(rc);
}

void Connection::published(int mid)
{
    m_inFlight = std::max(0, m_inFlight - 1);
    if (mid == m_offlineMid)
        m_offlineSent = true;
}

void Connection::lost(const QString &reason)
{
    const bool wasActive = std::exchange(m_active, false);
    if (!m_lossTold) {
        m_lossTold = true;
        m_tell(wasActive || m_everConnected
                ? QStringLiteral("MQTT: connection lost (%1); retrying").arg(reason)
                : QStringLiteral("MQTT: cannot connect to %1 (%2); retrying").arg(address(), reason));
    }
    m_nextAttempt = Clock::now() + m_retryWait;
    m_retryWait = std::min<Clock::duration>(m_retryWait * 2, longestRetryWait);
}

void Connection::sendDue()
{
    const bool announce = std::exchange(m_announce, false);
    std::map<QByteArray, Message> discovery;
    std::map<QByteArray, Message> due;
    {
        std::lock_guard lock(m_outbox->mutex);
        if (std::exchange(m_outbox->discoveryDue, false) || announce)
            discovery = m_outbox->discovery;
        if (m_inFlight < mostInFlight)
            due.swap(m_outbox->due);
    }
    if (announce)
        send(m_status, {"online", true});
    for (const auto &[topic, message] : discovery)
        send(topic, message);
    for (const auto &[topic, message] : due) {
        if (!send(topic, message)) {
            // Kept unless a newer reading came in meanwhile.
            std::lock_guard lock(m_outbox->mutex);
            m_outbox->due.try_emplace(topic, message);
        }
    }
}

bool Connection::send(const QByteArray &topic, const Message &message, int *mid)
{
    const int rc = mosquitto_publish(m_mosq, mid, topic.constData(), int(message.payload.size()),
        message.payload.constData(), m_settings.qos, message.retained);
    if (rc == MOSQ_ERR_SUCCESS)
        ++m_inFlight;
    return rc == MOSQ_ERR_SUCCESS;
}

void Connection::sayOffline()
{
    if (!m_active)
        return;
    // The last cycle's readings go out before the status says there are no more.
    sendDue();
    send(m_status, {"offline", true}, &m_offlineMid);
    const auto until = Clock::now() + offlineWait;
    while (!m_offlineSent && m_active && Clock::now() < until)
        mosquitto_loop(m_mosq, 50, 1);
    mosquitto_disconnect(m_mosq);
}

QString Connection::address() const
{
    const QString host = m_settings.host.contains(QLatin1Char(':'))
        ? QStringLiteral("[%1]").arg(m_settings.host)
        : m_settings.host;
    return QStringLiteral("%1:%2").arg(host).arg(m_settings.port);
}

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, LineSink tell)
    : m_settings(settings)
    , m_tell(std::move(tell))
    , m_outbox(std::make_shared<Outbox>())
{
    // Lines come from the connection's thread and are told on this object's, never once it is going:
    // the thread may outlive it.
    auto toThisThread = [this, outbox = m_outbox](const QString &line) {
        std::lock_guard lock(outbox->mutex);
        if (!outbox->stop)
            QMetaObject::invokeMethod(
                this, [this, line] { m_tell(line); }, Qt::QueuedConnection);
    };
    m_thread = std::thread([connection = std::make_shared<Connection>(m_settings, m_outbox, toThisThread)] {
        connection->run();
    });
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
        finished = m_outbox->wake.wait_for(lock, offlineWait + 1s, [this] { return m_outbox->finished; });
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
