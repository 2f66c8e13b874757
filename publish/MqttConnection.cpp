// The broker connection: attempts with a back-off, the announcement on each connection, the outbox sent.
#include "publish/MqttConnection.h"

#include "publish/MqttFailures.h"
#include "publish/MqttMessages.h"

#include <mosquitto.h>

namespace publish {

using namespace std::chrono_literals;

namespace {

constexpr int keepAliveSeconds = 30;
constexpr auto loopWait = 100ms;
// A broker that took the connection but has not answered it by then is left for the next try.
constexpr auto answerWait = 10s;
constexpr auto firstRetryWait = 1s;
constexpr auto longestRetryWait = 60s;
// Sent but not yet acknowledged: past this, readings wait in the outbox (latest only) instead.
constexpr int mostInFlight = 100;
// A connection dropped this soon after the discovery messages went out is suspected of their size.
constexpr auto dropWindow = 2s;

std::once_flag libraryInit;

} // namespace

Connection::Connection(
    MqttSettings settings, std::shared_ptr<Outbox> outbox, std::function<void(const QString &)> tell)
    : m_settings(std::move(settings))
    , m_outbox(std::move(outbox))
    , m_tell(std::move(tell))
    , m_status(statusTopic(m_settings).toUtf8())
    , m_retryWait(firstRetryWait)
    , m_discoveryLimit(std::numeric_limits<qsizetype>::max())
{ }

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
        if (!trying()) {
            if (waitUntil(m_nextAttempt))
                break;
            startAttempt();
            continue;
        }
        if (active())
            sendDue();
        checkAttempt(
            mosquitto_loop(m_mosq, static_cast<int>(std::chrono::milliseconds(loopWait).count()), 1));
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
    mosquitto_will_set(m_mosq, m_status.constData(), static_cast<int>(offline.size()), offline.constData(),
        m_settings.qos, true);
    if (!m_settings.user.isEmpty()) {
        const QByteArray user = m_settings.user.toUtf8();
        QByteArray password = m_settings.password.value_or(QString()).toUtf8();
        mosquitto_username_pw_set(
            m_mosq, user.constData(), m_settings.password ? password.constData() : nullptr);
        // The library keeps its own copy for every reconnection: ours are of no more use.
        wipe(password);
        if (m_settings.password)
            wipe(*m_settings.password);
    }
    if (!m_settings.caFile.isEmpty()) {
        const QByteArray caFile = m_settings.caFile.toLocal8Bit();
        mosquitto_tls_set(m_mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        watchCertificates(&m_certificateVerdict);
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
    m_certificateVerdict = 0;
    m_attemptStart = Clock::now();
    const QByteArray host = m_settings.host.toUtf8();
    const bool first = m_link == Link::Untried;
    m_link = first ? Link::Connecting : Link::Retrying;
    // A reconnection closes whatever the last attempt left open.
    const int rc = first
        ? mosquitto_connect_async(m_mosq, host.constData(), m_settings.port, keepAliveSeconds)
        : mosquitto_reconnect_async(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS) {
        // The library's text for a system error is the system's; it must be read before anything else runs.
        lost(rc == MOSQ_ERR_TLS ? tlsFailure(m_certificateVerdict) : errorText(rc));
    }
}

void Connection::checkAttempt(int loopResult)
{
    // A refused certificate ends the handshake, whatever the library makes of what follows.
    if (!active() && m_reason.isEmpty() && (loopResult == MOSQ_ERR_TLS || m_certificateVerdict != 0))
        m_reason = tlsFailure(m_certificateVerdict);
    const int socket = mosquitto_socket(m_mosq);
    // Before the broker's answer the library may go on waiting on a connection that has failed.
    const auto failed = socket >= 0 && !active() && m_reason.isEmpty() ? socketFailure(socket) : std::nullopt;
    if (socket < 0 || failed)
        lost(!m_reason.isEmpty() ? m_reason : failed.value_or(QStringLiteral("closed by the broker")));
    else if (!active() && Clock::now() - m_attemptStart > answerWait)
        lost(QStringLiteral("no answer from the broker"));
}

void Connection::connected(int rc)
{
    if (rc != 0) {
        m_reason = reasonText(mosquitto_connack_string(rc));
        return;
    }
    m_link = Link::Announcing;
    m_inFlight = 0;
    m_retryWait = firstRetryWait;
    m_tell(QStringLiteral("MQTT: connected to %1").arg(address()));
}

void Connection::disconnected(int rc)
{
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
    const Link was = std::exchange(m_link, Link::Waiting);
    if (was == Link::Connecting)
        m_tell(QStringLiteral("MQTT: cannot connect to %1 (%2); retrying").arg(address(), reason));
    if (was == Link::Announcing || was == Link::Connected) {
        checkDiscoveryDropped();
        m_tell(QStringLiteral("MQTT: connection lost (%1); retrying").arg(reason));
    }
    m_nextAttempt = Clock::now() + m_retryWait;
    m_retryWait = std::min<Clock::duration>(m_retryWait * 2, longestRetryWait);
}

// A broker drops the connection on a message larger than it takes, without a word. A drop soon after the
// discovery messages went out, twice in a row with the same smallest one, is taken for that: discovery
// messages that large are no longer sent, and the readings, far smaller, go on. Which of them was too
// large cannot be told, so the smallest sets the limit and one line says so.
void Connection::checkDiscoveryDropped()
{
    const qsizetype size = std::exchange(m_smallestDiscovery, 0);
    if (size == 0 || Clock::now() - m_discoverySent > dropWindow) {
        m_suspectedSize = 0;
        return;
    }
    if (std::exchange(m_suspectedSize, size) != size)
        return;
    m_suspectedSize = 0;
    m_discoveryLimit = size;
    m_tell(QStringLiteral("MQTT: the broker closes the connection on discovery messages of %1 bytes or more; "
                          "they are no longer sent")
               .arg(size));
}

void Connection::sendDue()
{
    const bool announce = m_link == Link::Announcing;
    m_link = Link::Connected;
    std::map<QByteArray, Message> discovery;
    std::map<QByteArray, Message> due;
    {
        std::lock_guard lock(m_outbox->mutex);
        if (std::exchange(m_outbox->discoveryDue, false) || announce)
            discovery = m_outbox->discovery;
        if (announce)
            for (const auto &[topic, message] : m_outbox->states)
                m_outbox->due.insert_or_assign(topic, message);
        if (m_inFlight < mostInFlight)
            due.swap(m_outbox->due);
    }
    if (announce)
        send(m_status, {"online", true});
    for (const auto &[topic, message] : discovery) {
        const qsizetype size = topic.size() + message.payload.size();
        // Every connection sends them again: the library must not, after a drop, send one the broker
        // cannot take.
        if (size < m_discoveryLimit && send(topic, message, nullptr, 0)) {
            m_smallestDiscovery = m_smallestDiscovery == 0 ? size : std::min(m_smallestDiscovery, size);
            m_discoverySent = Clock::now();
        }
    }
    for (const auto &[topic, message] : due) {
        if (!send(topic, message)) {
            // Kept unless a newer reading came in meanwhile.
            std::lock_guard lock(m_outbox->mutex);
            m_outbox->due.try_emplace(topic, message);
        }
    }
}

bool Connection::send(const QByteArray &topic, const Message &message, int *mid, std::optional<int> qos)
{
    const int rc = mosquitto_publish(m_mosq, mid, topic.constData(), static_cast<int>(message.payload.size()),
        message.payload.constData(), qos.value_or(m_settings.qos), message.retained);
    if (rc == MOSQ_ERR_SUCCESS)
        ++m_inFlight;
    return rc == MOSQ_ERR_SUCCESS;
}

void Connection::sayOffline()
{
    if (!active())
        return;
    // The last cycle's readings go out before the status says there are no more.
    sendDue();
    send(m_status, {"offline", true}, &m_offlineMid);
    const auto until = Clock::now() + OfflineWait;
    for (bool open = true; !m_offlineSent && open && Clock::now() < until;) {
        mosquitto_loop(m_mosq, 50, 1);
        open = mosquitto_socket(m_mosq) >= 0;
    }
    mosquitto_disconnect(m_mosq);
}

QString Connection::address() const
{
    const QString host = m_settings.host.contains(QLatin1Char(':'))
        ? QStringLiteral("[%1]").arg(m_settings.host)
        : m_settings.host;
    return QStringLiteral("%1:%2").arg(host).arg(m_settings.port);
}

} // namespace publish
