// The broker connection, on the publisher's own thread, and the outbox the window's thread fills for it.
#pragma once

#include "publish/MqttOptions.h"

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

struct mosquitto;

namespace publish {

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
    // The run's retained states (availability, alarms, removals), also sent again on every connection.
    std::map<QByteArray, Message> states;
    bool stop = false;
    bool finished = false; // the connection's thread has let go of the library
};

// Runs on the publisher's thread from start to end; the only code that touches the library's handle.
class Connection
{
public:
    using Clock = std::chrono::steady_clock;
    // The longest wait for "offline" to go out at the end.
    static constexpr std::chrono::seconds OfflineWait {2};

    // Takes the password, and wipes it once the library has its own copy.
    Connection(
        MqttSettings settings, std::shared_ptr<Outbox> outbox, std::function<void(const QString &)> tell);

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

    // Where the link to the broker stands. A loss is told once, when the link leaves Connecting (the
    // first attempt: "cannot connect") or Connected/Announcing ("connection lost"); the attempts that
    // follow it stay quiet until the broker accepts one again.
    enum class Link {
        Untried, // no attempt yet: the first one connects, every later one reconnects
        Connecting, // the first attempt is under way
        Announcing, // the broker accepted: "online" and discovery are due
        Connected,
        Waiting, // lost or never made, and told; the next attempt at m_nextAttempt
        Retrying, // a later attempt is under way
    };
    bool active() const { return m_link == Link::Announcing || m_link == Link::Connected; }
    bool trying() const { return m_link != Link::Untried && m_link != Link::Waiting; }

    void configure();
    bool stopRequested();
    // Waits until `until` or a stop; true on the stop.
    bool waitUntil(Clock::time_point until);
    void startAttempt();
    // After a pass of the library's loop: ends the attempt when it has failed.
    void checkAttempt(int loopResult);
    void connected(int rc);
    void disconnected(int rc);
    void published(int mid);
    // The connection is gone or never came: tells it once per change and sets the next try.
    void lost(const QString &reason);
    // A broker that drops the connection on a message larger than it takes: see Connection.cpp.
    void checkDiscoveryDropped();
    void sendDue();
    bool send(const QByteArray &topic, const Message &message, int *mid = nullptr,
        std::optional<int> qos = std::nullopt);
    void sayOffline();
    QString address() const;

    MqttSettings m_settings;
    std::shared_ptr<Outbox> m_outbox;
    std::function<void(const QString &)> m_tell;
    QByteArray m_status;
    mosquitto *m_mosq = nullptr;
    Link m_link = Link::Untried;
    QString m_reason; // why this attempt failed, once known
    long m_certificateVerdict = 0; // of this attempt's handshake; 0: none, or accepted
    Clock::time_point m_attemptStart;
    Clock::time_point m_nextAttempt;
    Clock::duration m_retryWait;
    int m_inFlight = 0;
    int m_offlineMid = -1;
    bool m_offlineSent = false;

    // Discovery messages of this size and above are not sent: the broker dropped the connection on them.
    qsizetype m_discoveryLimit;
    qsizetype m_smallestDiscovery = 0; // sent on this connection
    Clock::time_point m_discoverySent;
    qsizetype m_suspectedSize = 0; // the last connection was dropped soon after discovery this large
};

} // namespace publish
