// A broker of the test's own on a free port of 127.0.0.1, and a subscriber that records all it gets.
#include "BrokerFixture.h"

#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <mosquitto.h>

namespace {

// The broker is in /usr/sbin, outside the search path of most users.
QString tool(const QString &name)
{
    const QString inPath = QStandardPaths::findExecutable(name);
    return inPath.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin"}) : inPath;
}

} // namespace

Broker::Broker(const QStringList &config)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
    probe.close();
    // Started as root, the broker would read the test's files as another user.
    const QString lines
        = QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nuser root\nlog_type error\n").arg(port)
        + config.join('\n').replace("%1", m_dir.path()) + '\n';
    QFile file(path("broker.conf"));
    if (file.open(QIODevice::WriteOnly))
        file.write(lines.toUtf8());
}

bool Broker::start()
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(tool("mosquitto"), {"-c", path("broker.conf")});
    for (int i = 0; i < 100 && m_process->state() != QProcess::NotRunning; ++i, QThread::msleep(50)) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
    }
    return false;
}

bool Broker::run(const QString &name, const QStringList &arguments) const
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(tool(name), arguments);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

bool Broker::makeCertificates(bool expired) const
{
    const QStringList key {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
    for (const QString ca : {"ca", "other"})
        if (!run("openssl",
                QStringList {
                    "req", "-x509", "-subj", "/CN=" + ca, "-keyout", ca + ".key", "-out", ca + ".crt"}
                    + key))
            return false;
    // Signed the long way, which alone takes any dates.
    QFile config(path("ca.cnf"));
    QFile(path("index.txt")).open(QIODevice::WriteOnly);
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write("[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nnew_certs_dir=.\nrand_serial=yes\n"
                 "policy=p\ndefault_md=sha256\ncopy_extensions=copy\n[p]\ncommonName=supplied\n");
    config.close();
    const QStringList dates = expired
        ? QStringList {"-startdate", "20200101000000Z", "-enddate", "20200102000000Z"}
        : QStringList {"-days", "30"};
    return run("openssl",
               QStringList {"req", "-new", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                   "-keyout", "server.key", "-out", "server.csr"}
                   + key)
        && run("openssl",
            QStringList {"ca", "-batch", "-notext", "-config", "ca.cnf", "-cert", "ca.crt", "-keyfile",
                "ca.key", "-in", "server.csr", "-out", "server.crt"}
                + dates);
}

Subscriber::Subscriber(uint16_t port, const QString &caFile)
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *self, const mosquitto_message *message) {
        auto *subscriber = static_cast<Subscriber *>(self);
        std::lock_guard lock(subscriber->m_mutex);
        subscriber->m_received.append({message->topic,
            QByteArray(static_cast<const char *>(message->payload), message->payloadlen), message->retain});
    });
    if (!caFile.isEmpty())
        mosquitto_tls_set(m_mosq, caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect(m_mosq, "127.0.0.1", port, 30);
    mosquitto_subscribe(m_mosq, nullptr, "#", 1);
    mosquitto_loop_start(m_mosq);
}

Subscriber::~Subscriber()
{
    mosquitto_loop_stop(m_mosq, true);
    mosquitto_destroy(m_mosq);
}

QList<Received> Subscriber::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> Subscriber::payloads(const QByteArray &topic) const
{
    QList<QByteArray> found;
    for (const Received &message : received())
        if (message.topic == topic)
            found << message.payload;
    return found;
}
