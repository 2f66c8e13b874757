// The publisher against a real broker: what a run publishes, logins, TLS, outages and a silent broker.
#include "BrokerFixture.h"
#include "publish/MqttAnnounced.h"
#include "publish/MqttPublisher.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {

const logging::RomCode Rom0 {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF};
const logging::RomCode Rom1 {0x10, 0x97, 0x88, 0xA1, 0x96, 0x9C, 0xFD, 0xE2};
const QByteArray Reading0("kx4136/28B484D70F4F4CAF/temperature");
const QByteArray Alarm0("kx4136/28B484D70F4F4CAF/alarm");
const QByteArray Available0("kx4136/28B484D70F4F4CAF/availability");
const QByteArray Available1("kx4136/109788A1969CFDE2/availability");
const QByteArray Config0("homeassistant/sensor/kx4136_28B484D70F4F4CAF/config");
const QByteArray AlarmConfig0("homeassistant/binary_sensor/kx4136_28B484D70F4F4CAF_alarm/config");
const QByteArray Config1("homeassistant/sensor/kx4136_109788A1969CFDE2/config");
constexpr int Patience = 15000;

// A publisher to a port of 127.0.0.1 for the adapter on COM3, and the lines it told.
struct Publishing
{
    explicit Publishing(
        uint16_t port, publish::MqttSettings settings = {}, QList<logging::RomCode> roms = {Rom0, Rom1})
    {
        settings.host = "127.0.0.1";
        settings.port = port;
        publisher = std::make_unique<publish::MqttPublisher>(
            settings, [this](const QString &line) { lines << line; });
        publisher->setPortSource([] { return 3; });
        publisher->runStarted({roms, 2000, {logging::SensorSettings {"Freezer", {}}}});
    }
    // A cycle handed over as run control does, the first sensor in `alarm`; true when that took no
    // noticeable time.
    bool cycle(std::optional<float> first, int32_t periodMs = 2000, logging::AlarmState alarm = {},
        const QString &name = "Freezer")
    {
        const QDeadlineTimer hang(1000);
        logging::CycleRecord record {QDateTime::currentDateTime(),
            {{0, Rom0, first, {name, {}}, alarm}, {1, Rom1, std::nullopt}}, periodMs};
        if (std::exchange(alarm0, alarm) != alarm)
            record.alarmChanges.append({0, Rom0, name, alarm, {}, {}, {}, record.when});
        publisher->cycleEnded(record);
        return !hang.hasExpired();
    }

    std::unique_ptr<publish::MqttPublisher> publisher;
    QStringList lines;
    logging::AlarmState alarm0 = {};
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
    void alarms_data();
    void alarms();
    void missingSensors_data();
    void missingSensors();
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
    QTRY_COMPARE_WITH_TIMEOUT(late.received().size(), 9, Patience); // status; per sensor 2 configs, 2 states
    for (const Received &message : late.received())
        QVERIFY2(message.retained, message.topic.constData());
    QCOMPARE(late.payloads("kx4136/status"), QList<QByteArray> {"online"});
    QCOMPARE(late.payloads(Available0), QList<QByteArray> {"online"});
    const QString host = QSysInfo::machineHostName();
    const QJsonObject device {{"identifiers", QJsonArray {"kx4136_" + host + "_COM3"}},
        {"name", host + " COM3"}, {"manufacturer", "kx4136-logger"}, {"model", "KA7700 1-Wire adapter"},
        {"sw_version", KX_VERSION}};
    const QJsonArray availability {
        QJsonObject {{"topic", "kx4136/status"}}, QJsonObject {{"topic", QString(Available0)}}};
    const QJsonObject expected {{"name", "Freezer"}, {"unique_id", "kx4136_28B484D70F4F4CAF"},
        {"state_topic", QString(Reading0)}, {"device_class", "temperature"},
        {"unit_of_measurement", "\u00B0C"}, {"state_class", "measurement"},
        {"suggested_display_precision", 1}, {"availability", availability}, {"availability_mode", "all"},
        {"payload_available", "online"}, {"payload_not_available", "offline"}, {"expire_after", 6},
        {"device", device}, {"origin", QJsonObject {{"name", "kx4136-logger"}, {"sw_version", KX_VERSION}}}};
    QCOMPARE(QJsonDocument::fromJson(late.payloads(Config0).value(0)).object(), expected);
    const QJsonObject alarm = QJsonDocument::fromJson(late.payloads(AlarmConfig0).value(0)).object();
    QCOMPARE(alarm["name"], "Freezer alarm");
    QCOMPARE(alarm["device_class"], "problem");
    QCOMPARE(alarm["state_topic"], QString(Alarm0));
    QCOMPARE(alarm["device"], device);
    // Readings that come less often than the interval, and a new name: announced again each time.
    for (const auto &[readings, period, name] :
        {std::tuple {2, 7300, "Freezer"}, {3, 7300, "Freezer"}, {4, 7300, "Cellar"}}) {
        QVERIFY(run->cycle(20.0f, period, {}, name));
        QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Reading0).size(), readings, Patience);
    }
    QTRY_COMPARE_WITH_TIMEOUT(late.payloads(Config0).size(), 3, Patience);
    QCOMPARE(QJsonDocument::fromJson(late.payloads(Config0).value(1))["expire_after"].toInt(), 22);
    const QJsonObject renamed = QJsonDocument::fromJson(late.payloads(Config0).value(2)).object();
    QCOMPARE(renamed["name"], "Cellar");
    QCOMPARE(renamed["unique_id"], expected["unique_id"]);
    const QByteArray config1 = late.payloads(Config1).value(0);
    QCOMPARE(QJsonDocument::fromJson(config1)["name"].toString(), "Sensor #1 109788A1969CFDE2");

    run.reset();
    QTRY_COMPARE_WITH_TIMEOUT(
        late.payloads("kx4136/status"), (QList<QByteArray> {"online", "offline"}), Patience);
    // The failed read published nothing, though all that came before "offline" has arrived.
    QVERIFY(live.payloads("kx4136/109788A1969CFDE2/temperature").isEmpty());
}

void TestPublisher::alarms_data()
{
    using State = logging::AlarmState;
    QTest::addColumn<QList<State>>("states"); // of the first sensor, one cycle each
    QTest::addColumn<QList<QByteArray>>("alarm"); // published, from START on
    QTest::addColumn<QList<QByteArray>>("availability");

    QTest::newRow("too warm, then back")
        << QList {State::High, State::Ok} << QList<QByteArray> {"ok", "high", "ok"}
        << QList<QByteArray> {"online"};
    QTest::newRow("too cold") << QList {State::Low} << QList<QByteArray> {"ok", "low"}
                              << QList<QByteArray> {"online"};
    QTest::newRow("not answering, then back")
        << QList {State::NotAnswering, State::Ok} << QList<QByteArray> {"ok", "not answering", "ok"}
        << QList<QByteArray> {"online", "offline", "online"};
}

void TestPublisher::alarms()
{
    QFETCH(QList<logging::AlarmState>, states);
    QFETCH(QList<QByteArray>, alarm);
    QFETCH(QList<QByteArray>, availability);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber live(broker.port);
    Publishing run(broker.port);
    QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Alarm0).size(), 1, Patience);
    for (qsizetype i = 0; i < states.size(); ++i) {
        const bool answers = states[i] != logging::AlarmState::NotAnswering;
        QVERIFY(run.cycle(answers ? std::optional(20.0f) : std::nullopt, 2000, states[i]));
        QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Alarm0).size(), i + 2, Patience);
    }
    QCOMPARE(live.payloads(Alarm0), alarm);
    QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Available0), availability, Patience);
    Subscriber late(broker.port);
    QTRY_COMPARE_WITH_TIMEOUT(late.payloads(Alarm0), QList {alarm.last()}, Patience);
}

void TestPublisher::missingSensors_data()
{
    QTest::addColumn<bool>("remove");
    QTest::newRow("marked unavailable") << false;
    QTest::newRow("removed") << true;
}

void TestPublisher::missingSensors()
{
    QFETCH(bool, remove);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber live(broker.port);
    publish::MqttSettings settings;
    settings.stateFolder = broker.path("state");
    auto run = std::make_unique<Publishing>(broker.port, settings);
    QTRY_COMPARE_WITH_TIMEOUT(live.payloads(Config1).size(), 1, Patience);
    run.reset();
    settings.host = "127.0.0.1";
    settings.port = broker.port;
    QFile file(publish::announcedFilePath(settings, {{}, 3}));
    QVERIFY(file.open(QIODevice::Append)); // a damaged line does not spoil the others
    file.write("\xff no ROM code\n");
    file.close();
    settings.removeMissing = remove;
    run = std::make_unique<Publishing>(broker.port, settings, QList {Rom0});
    QTRY_COMPARE_WITH_TIMEOUT(live.payloads(remove ? Config1 : Available1).size(), 2, Patience);
    Subscriber late(broker.port);
    QTRY_COMPARE_WITH_TIMEOUT(late.payloads(Available0), QList<QByteArray> {"online"}, Patience);
    QCOMPARE(late.payloads(Available1), remove ? QList<QByteArray> {} : QList<QByteArray> {"offline"});
    QCOMPARE(late.payloads(Config1).size(), remove ? 0 : 1);
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
        QVERIFY(run.cycle(static_cast<float>(degrees)));
    // Between the tries at 1 s and 3 s and the one at 7 s: the subscriber is there before the publisher.
    QTest::qWait(5000);
    QVERIFY(broker.start());
    Subscriber subscriber(broker.port, settings.caFile);
    QTRY_COMPARE_WITH_TIMEOUT(run.lines.size(), 3, Patience);
    QCOMPARE(run.lines[2], connected(broker.port));
    // The broker lost everything: discovery and the states come again; of the outage's readings only the
    // last.
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads(Config0).size(), 1, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(Available0).contains("online"), Patience);
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
