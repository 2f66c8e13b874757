// The publisher against a real broker: what a run publishes, logins, TLS, outages and a silent broker.
#include "BrokerFixture.h"
#include "publish/MqttPublisher.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

const logging::RomCode Rom0 {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF};
const logging::RomCode Rom1 {0x10, 0x97, 0x88, 0xA1, 0x96, 0x9C, 0xFD, 0xE2};
const QByteArray Reading0("kx4136/28B484D70F4F4CAF/temperature");
const QByteArray Config0("homeassistant/sensor/kx4136_28B484D70F4F4CAF/config");
constexpr int Patience = 15000;

// A publisher to a port of 127.0.0.1, and the lines it told.
struct Publishing
{
    explicit Publishing(uint16_t port, publish::MqttSettings settings = {})
    {
        settings.host = "127.0.0.1";
        settings.port = port;
        publisher = std::make_unique<publish::MqttPublisher>(
            settings, [this](const QString &line) { lines << line; });
        publisher->runStarted({{Rom0, Rom1}, 2000});
    }
    // A cycle handed over as run control does; true when that took no noticeable time.
    bool cycle(std::optional<float> first, int32_t periodMs = 2000)
    {
        const QDeadlineTimer hang(1000);
        publisher->cycleEnded(
            {QDateTime::currentDateTime(), {{0, Rom0, first}, {1, Rom1, std::nullopt}}, periodMs});
        return !hang.hasExpired();
    }

    std::unique_ptr<publish::MqttPublisher> publisher;
    QStringList lines;
};

QString connected(uint16_t port)
{
    return QStringLiteral("MQTT: connected to 127.0.0.1:%1").arg(port);
}

} // namespace

class TestPublisher : public QObject
{
    Q_OBJECT

private slots:
    void messagesOfARun();
    void login_data();
    void login();
    void brokerRestarted_data();
    void brokerRestarted();
    void silentBroker();
    void discoveryOverTheBrokersLimit();
};

void TestPublisher::messagesOfARun()
{
    Broker broker;
    QVERIFY(broker.start());
    Subscriber live(broker.port);
    QLocale::setDefault(QLocale(QLocale::German)); // a comma language: the payload keeps its dot
    auto run = std::make_unique<Publishing>(broker.port);
    QVERIFY(run->cycle(21.375f));
    QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Reading0), QList<QByteArray> {"21.375"}, Patience);

    Subscriber late(broker.port); // gets only what is retained
    QTRY_COMPARE_WITH_TIMEOUT(late.received().size(), 3, Patience);
    for (const Received &message : late.received())
        QVERIFY2(message.retained, message.topic.constData());
    QCOMPARE(late.payloads("kx4136/status"), QList<QByteArray> {"online"});
    const QJsonObject expected {{"name", "Sensor #0 28B484D70F4F4CAF"},
        {"unique_id", "kx4136_28B484D70F4F4CAF"}, {"state_topic", QString(Reading0)},
        {"device_class", "temperature"}, {"unit_of_measurement", "\u00B0C"}, {"state_class", "measurement"},
        {"availability_topic", "kx4136/status"}, {"payload_available", "online"},
        {"payload_not_available", "offline"}, {"expire_after", 6}};
    QCOMPARE(QJsonDocument::fromJson(late.payloads(Config0).value(0)).object(), expected);
    // Readings that come less often than the interval: announced again, once per growth of the period.
    for (const qsizetype readings : {2, 3}) {
        QVERIFY(run->cycle(20.0f, 7300));
        QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Reading0).size(), readings, Patience);
    }
    QCOMPARE(late.payloads(Config0).size(), 2);
    QCOMPARE(QJsonDocument::fromJson(late.payloads(Config0).value(1))["expire_after"].toInt(), 22);
    const QByteArray config1 = late.payloads("homeassistant/sensor/kx4136_109788A1969CFDE2/config").value(0);
    QCOMPARE(QJsonDocument::fromJson(config1)["name"].toString(), "Sensor #1 109788A1969CFDE2");

    run.reset();
    QTRY_COMPARE_WITH_TIMEOUT(
        late.payloads("kx4136/status"), (QList<QByteArray> {"online", "offline"}), Patience);
    // The failed read published nothing, though all that came before "offline" has arrived.
    QVERIFY(live.payloads("kx4136/109788A1969CFDE2/temperature").isEmpty());
}

void TestPublisher::login_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("secret"); // the password, or the CA the publisher trusts
    QTest::addColumn<bool>("expired");
    QTest::addColumn<QString>("outcome"); // in the first line told

    QTest::newRow("right password") << false << "s3cret" << false << "connected";
    QTest::newRow("wrong password") << false << "guess" << false << "(not authorised)";
    QTest::newRow("TLS, the broker's CA") << true << "ca.crt" << false << "connected";
    QTest::newRow("TLS, another CA") << true << "other.crt" << false << "(certificate not trusted)";
    QTest::newRow("TLS, expired certificate") << true << "ca.crt" << true << "(certificate expired)";
    QTest::newRow("no TLS to a TLS broker") << true << "" << false << "(closed by the broker)";
}

void TestPublisher::login()
{
    QFETCH(bool, tls);
    QFETCH(QString, secret);
    QFETCH(bool, expired);
    QFETCH(QString, outcome);
    Broker broker(
        tls ? Broker::tlsConfig() : QStringList {"allow_anonymous false", "password_file %1/passwd"});
    QVERIFY(broker.run("mosquitto_passwd", {"-c", "-b", "passwd", "logger", "s3cret"}));
    QVERIFY(broker.makeCertificates(expired));
    QVERIFY(broker.start());
    publish::MqttSettings settings;
    settings.user = "logger";
    settings.password = tls ? QString() : QString::fromUtf8(secret.toUtf8());
    settings.caFile = tls && !secret.isEmpty() ? broker.path(secret) : QString();
    const QChar *password = settings.password->constData(); // shared by every copy of the settings
    Publishing run(broker.port, settings);
    QTRY_VERIFY_WITH_TIMEOUT(!run.lines.isEmpty(), Patience);
    QVERIFY2(run.lines.first().contains(outcome), qPrintable(run.lines.first()));
    // The library has its own copy: the password is nowhere else.
    QVERIFY(std::all_of(password, password + settings.password->size(), [](QChar c) { return c.isNull(); }));
}

void TestPublisher::brokerRestarted_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("plain") << false;
    QTest::newRow("TLS") << true;
}

void TestPublisher::brokerRestarted()
{
    QFETCH(bool, tls);
    Broker broker(tls ? Broker::tlsConfig() : QStringList {});
    QVERIFY(!tls || broker.makeCertificates());
    QVERIFY(broker.start());
    publish::MqttSettings settings;
    settings.caFile = tls ? broker.path("ca.crt") : QString();
    Publishing run(broker.port, settings);
    QTRY_COMPARE_WITH_TIMEOUT(run.lines, QStringList {connected(broker.port)}, Patience);
    broker.stop();
    QTRY_COMPARE_WITH_TIMEOUT(run.lines.size(), 2, Patience);
    QVERIFY2(run.lines[1].startsWith("MQTT: connection lost (") && run.lines[1].endsWith("); retrying"),
        qPrintable(run.lines[1]));
    for (int degrees = 20; degrees <= 24; ++degrees)
        QVERIFY(run.cycle(float(degrees)));
    QTest::qWait(3000); // a failed try or two: the back-off, not the connection, sets the next
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port, settings.caFile);
    QTRY_COMPARE_WITH_TIMEOUT(run.lines.size(), 3, Patience);
    QCOMPARE(run.lines[2], connected(broker.port));
    // The broker lost everything: discovery comes again; of the outage's readings only the last.
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads(Config0).size(), 1, Patience);
    QVERIFY(run.cycle(31.0f));
    QTRY_COMPARE_WITH_TIMEOUT(
        subscriber.payloads(Reading0), (QList<QByteArray> {"24.000", "31.000"}), Patience);
}

void TestPublisher::silentBroker()
{
    QTcpServer silent; // takes every connection and never reads from it
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    connect(&silent, &QTcpServer::newConnection, &silent, [&silent] { silent.nextPendingConnection(); });
    auto run = std::make_unique<Publishing>(silent.serverPort());
    for (int i = 0; i < 3; ++i) {
        QVERIFY(run->cycle(20.5f));
        QTest::qWait(300);
    }
    QVERIFY(run->lines.isEmpty());
    const QDeadlineTimer hang(3000);
    run.reset();
    QVERIFY(!hang.hasExpired());
}

void TestPublisher::discoveryOverTheBrokersLimit()
{
    Broker broker({"max_packet_size 200"}); // readings fit, discovery messages do not
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port);
    Publishing run(broker.port);
    QTRY_VERIFY_WITH_TIMEOUT(run.cycle(21.5f) && subscriber.payloads(Reading0).contains("21.500"), Patience);
    QVERIFY(run.cycle(22.5f));
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(Reading0).contains("22.500"), Patience);
    QCOMPARE(run.lines.filter("discovery").size(), 1);
    QCOMPARE(run.lines.filter("MQTT: connected").size(), 3); // two drops tell the limit; then no more
    QVERIFY(subscriber.payloads(Config0).isEmpty());
}

QTEST_MAIN(TestPublisher)
#include "tst_publisher.moc"
