// A broker of the test's own on a free port of 127.0.0.1, and a subscriber that records all it gets.
#pragma once

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <mutex>

class QProcess;
struct mosquitto;

class Broker
{
public:
    // `config`: lines added to the listener's, with %1 standing for the test's folder.
    explicit Broker(const QStringList &config = {});
    ~Broker();

    // Waits until it takes connections.
    bool start();
    void stop();
    // Runs a tool (mosquitto_passwd, openssl) in the test's folder; true when it succeeded.
    bool run(const QString &tool, const QStringList &arguments) const;
    QString path(const QString &file) const { return m_dir.filePath(file); }

    uint16_t port = 0;

private:
    QTemporaryDir m_dir;
    QProcess *m_process = nullptr;
};

struct Received
{
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
};

class Subscriber
{
public:
    explicit Subscriber(uint16_t port);
    ~Subscriber();

    QList<Received> received() const;
    // The payloads received on `topic`, in order.
    QList<QByteArray> payloads(const QByteArray &topic) const;

private:
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    mosquitto *m_mosq = nullptr;
    mutable std::mutex m_mutex;
    QList<Received> m_received;
};
