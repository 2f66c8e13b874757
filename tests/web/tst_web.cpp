// The web server over real HTTP on 127.0.0.1: records fed to it in process, and the program run with --http.
#include "web/WebServer.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

struct Answer
{
    int status = 0;
    QByteArray type;
    QByteArray body;
};

Answer fetch(const QUrl &url, const QByteArray &method = "GET")
{
    QNetworkAccessManager manager;
    // A custom "HEAD" would wait for a body.
    std::unique_ptr<QNetworkReply> reply(method == "HEAD"
            ? manager.head(QNetworkRequest(url))
            : manager.sendCustomRequest(QNetworkRequest(url), method));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(20000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
        reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

logging::CycleRecord cycle(const QDateTime &when, std::optional<float> first)
{
    const logging::RomCode rom0 {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF};
    const logging::RomCode rom1 {0x28, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    return {when,
        {{0, rom0, first, {QStringLiteral("Hall \"north\""), {}}, logging::AlarmState::High},
            {1, rom1, std::nullopt, {}, logging::AlarmState::NotAnswering}},
        6000, 1250};
}

} // namespace

class TstWeb : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answers_data();
    void answers();
    void followsTheRun();
    void metricsPassPromtool();
    void refusals_data();
    void refusals();
    void cyclesGoOnBesideAClientThatNeverReads();

private:
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->port()).arg(path));
    }

    std::unique_ptr<web::WebServer> m_server;
    const QDateTime m_when = QDateTime(QDate(2026, 3, 1), QTime(10, 0), QTimeZone(0));
};

void TstWeb::init()
{
    m_server = std::make_unique<web::WebServer>();
    QCOMPARE(m_server->listenOn(QHostAddress::LocalHost, 0), QString());
    const logging::CycleRecord first = cycle(m_when, 21.5f);
    m_server->runStarted(
        {{first.sensors[0].rom, first.sensors[1].rom}, 5000, {first.sensors[0].settings, {}}});
    m_server->cycleEnded(first);
}

void TstWeb::answers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArrayList>("contains");

    const QByteArray json = "application/json";
    QTest::newRow("readings") << QByteArray("GET") << "/api/readings" << 200 << json
                              << QByteArrayList {"\"time\":\"2026-03-01T10:00:00+00:00\"", "\"reading\":21.5",
                                     "\"rom\":\"28B484D70F4F4CAF\"", "\"name\":\"Hall \\\"north\\\"\"",
                                     "\"reading\":null", "\"name\":null", "\"alarm\":\"not answering\""};
    QTest::newRow("run") << QByteArray("GET") << "/api/run" << 200 << json
                         << QByteArrayList {
                                "\"intervalSeconds\":5", "\"periodSeconds\":6", "\"state\":\"running\""};
    QTest::newRow("metrics") << QByteArray("GET") << "/metrics" << 200
                             << QByteArray("text/plain; version=0.0.4; charset=utf-8")
                             << QByteArrayList {
                                    "kx4136_temperature_celsius{rom=\"28B484D70F4F4CAF\",index=\"0\","
                                    "name=\"Hall \\\"north\\\"\"} 21.5",
                                    "kx4136_failed_readings_total{rom=\"2801020304050607\",index=\"1\"} 1",
                                    "kx4136_last_cycle_timestamp_seconds 1772359200",
                                    "kx4136_last_cycle_duration_seconds 1.25",
                                    "# TYPE kx4136_readings_total counter"};
    QTest::newRow("page") << QByteArray("GET") << "/" << 200 << QByteArray("text/html; charset=utf-8")
                          << QByteArrayList {"<title>KX4136 logger</title>"};
    QTest::newRow("chart") << QByteArray("GET") << "/chart.png?hours=0.5&size=300x200" << 200
                           << QByteArray("image/png") << QByteArrayList {"\x89PNG"};
    QTest::newRow("head") << QByteArray("HEAD") << "/metrics" << 200
                          << QByteArray("text/plain; version=0.0.4; charset=utf-8") << QByteArrayList {};
    QTest::newRow("post") << QByteArray("POST") << "/api/readings" << 405 << QByteArray()
                          << QByteArrayList {};
    for (const char *query : {"hours=0", "hours=x", "size=99x200", "size=300", "size=3001x200"})
        QTest::newRow(query) << QByteArray("GET") << QStringLiteral("/chart.png?") + query << 400
                             << QByteArray("text/plain; charset=utf-8") << QByteArrayList {"takes"};
    QTest::newRow("unknown") << QByteArray("GET") << "/index.php" << 404 << QByteArray() << QByteArrayList {};
}

void TstWeb::answers()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, type);
    QFETCH(QByteArrayList, contains);
    const Answer answer = fetch(url(path), method);
    QCOMPARE(answer.status, status);
    if (!type.isEmpty())
        QCOMPARE(answer.type, type);
    if (type.endsWith("json"))
        QVERIFY(!QJsonDocument::fromJson(answer.body).isNull());
    if (method == "HEAD")
        QVERIFY(answer.body.isEmpty());
    for (const QByteArray &part : contains)
        QVERIFY2(answer.body.contains(part), answer.body.constData());
}

void TstWeb::followsTheRun()
{
    m_server->cycleEnded(cycle(m_when.addSecs(6), 22.25f));
    QVERIFY(fetch(url("/api/readings")).body.contains("\"reading\":22.25"));
    QVERIFY(fetch(url("/metrics"))
                .body.contains("kx4136_readings_total{rom=\"28B484D70F4F4CAF\",index=\"0\","
                               "name=\"Hall \\\"north\\\"\"} 2"));
    m_server->runStopped();
    QVERIFY(fetch(url("/api/run")).body.contains("\"state\":\"stopped\""));
}

void TstWeb::metricsPassPromtool()
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is not installed");
    QProcess check;
    check.start(promtool, {"check", "metrics"});
    check.write(fetch(url("/metrics")).body);
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(20000));
    QVERIFY2(check.exitCode() == 0, check.readAll().constData());
}

void TstWeb::refusals_data()
{
    QTest::addColumn<QString>("endpoint"); // %1: a port in use (the fixture's)
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("port in use") << "127.0.0.1:%1"
                                 << QByteArray("Cannot serve the web page on 127.0.0.1 port");
    QTest::newRow("no such address") << "192.0.2.1:%1"
                                     << QByteArray("Cannot serve the web page on 192.0.2.1");
    QTest::newRow("no port") << "127.0.0.1:" << QByteArray("--http takes a port from 1 to 65535");
    QTest::newRow("host name") << "example.org:80" << QByteArray("--http takes an IP address");
}

void TstWeb::refusals()
{
    QFETCH(QString, endpoint);
    QFETCH(QByteArray, error);
    QProcess program;
    program.start(KX_PROGRAM,
        {"--console", "--simulate", "--no-log", "--http",
            endpoint.contains("%1") ? endpoint.arg(m_server->port()) : endpoint});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY2(program.readAllStandardError().contains(error), error.constData());
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
}

void TstWeb::cyclesGoOnBesideAClientThatNeverReads()
{
    const quint16 port = freePort();
    QProcess program;
    program.start(KX_PROGRAM,
        {"--console", "--simulate", "--no-log", "--interval", "0.05", "--delay", "0", "--http",
            QString::number(port)});
    // Its receive window stays small, so the answers it asks for pile up on the server's side.
    QTcpSocket stuck;
    stuck.setReadBufferSize(1);
    stuck.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    for (int attempt = 0; attempt < 200 && stuck.state() != QAbstractSocket::ConnectedState; ++attempt) {
        stuck.abort();
        stuck.connectToHost(QHostAddress::LocalHost, port);
        if (!stuck.waitForConnected(1000))
            QTest::qWait(100);
    }
    QCOMPARE(stuck.state(), QAbstractSocket::ConnectedState);
    // Each printed cycle names the first sensor once (as the device list did before them).
    QByteArray out;
    const auto cycles = [&program, &out] {
        out += program.readAllStandardOutput();
        return out.count("Sensor #0 : ");
    };
    // Three large answers asked for per cycle, far more than the socket buffers between the two hold.
    for (qint64 seen = cycles(), until = seen + 40; seen < until;) {
        for (int i = 0; i < 3 && stuck.isOpen(); ++i)
            stuck.write("GET /chart.png?size=3000x3000 HTTP/1.1\r\nHost: x\r\n\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(cycles() > seen, 20000);
        seen = cycles();
    }
    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(TstWeb)
#include "tst_web.moc"
