// A broker of the test's own on a free port of 127.0.0.1, and a subscriber that records all it gets.
#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <mutex>

struct mosquitto;

class Broker
{
public:
    // `config`: lines for the listener, %1 standing for the test's folder, where the files are.
    explicit Broker(const QStringList &config = {});
    bool start(); // returns once it takes connections
    void stop() { m_process.reset(); }
    // Runs a tool (mosquitto_passwd, openssl) in the test's folder; true when it succeeded.
    bool run(const QString &tool, const QStringList &arguments) const;
    QString path(const QString &file) const { return m_dir.filePath(file); }
    // Makes ca.crt (the broker's CA), other.crt (another CA) and the broker's certificate signed by ca;
    // or one that has expired.
    bool makeCertificates(bool expired = false) const;
    // The listener lines for TLS with the certificates above.
    static QStringList tlsConfig()
    {
        return {"cafile %1/ca.crt", "certfile %1/server.crt", "keyfile %1/server.key"};
    }

    uint16_t port = 0;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
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
    explicit Subscriber(uint16_t port, const QString &caFile = {});
    ~Subscriber();
    QList<Received> received() const;
    QList<QByteArray> payloads(const QByteArray &topic) const;

private:
    mosquitto *m_mosq;
    mutable std::mutex m_mutex;
    QList<Received> m_received;
};
