// The --mqtt options: checked in full before anything starts, so a wrong one never half-starts a run.
#include "publish/MqttOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

namespace publish {

namespace {

const QString Mqtt = QStringLiteral("mqtt");
const QString Topic = QStringLiteral("mqtt-topic");
const QString Discovery = QStringLiteral("mqtt-discovery-prefix");
const QString User = QStringLiteral("mqtt-user");
const QString PasswordFile = QStringLiteral("mqtt-password-file");
const QString CaFile = QStringLiteral("mqtt-cafile");
const QString Qos = QStringLiteral("mqtt-qos");

QString last(const QCommandLineParser &parser, const QString &name)
{
    return parser.values(name).last();
}

// A prefix goes in front of every topic: wildcards and empty levels would make it another topic.
bool isTopicPrefix(const QString &text)
{
    static const QRegularExpression wrong(QStringLiteral("[+#\\x00]|^/|/$|//"));
    return !text.isEmpty() && !text.contains(wrong);
}

// The first line of the file, without its line end.
std::optional<QString> readPassword(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    QString password = QString::fromUtf8(line);
    wipe(line);
    return password;
}

} // namespace

void wipe(QString &text)
{
    if (text.data_ptr().isMutable())
        std::fill_n(const_cast<QChar *>(text.constData()), text.size(), QChar());
}

void wipe(QByteArray &bytes)
{
    if (bytes.data_ptr().isMutable())
        std::fill_n(const_cast<char *>(bytes.constData()), bytes.size(), '\0');
}

std::optional<std::pair<QString, uint16_t>> parseBrokerAddress(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^\\s:\\[\\]/]+))(?::([0-9]{1,5}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    uint16_t port = 1883;
    if (match.hasCaptured(3)) {
        const int number = match.captured(3).toInt();
        if (number < 1 || number > 65535)
            return std::nullopt;
        port = static_cast<uint16_t>(number);
    }
    return std::pair {match.hasCaptured(1) ? match.captured(1) : match.captured(2), port};
}

void addMqttOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {Mqtt, QStringLiteral("Publish the readings to the MQTT broker at HOST (port 1883 unless given)."),
            QStringLiteral("HOST[:PORT]")},
        {Topic, QStringLiteral("MQTT: topic prefix (default kx4136)."), QStringLiteral("PREFIX")},
        {Discovery, QStringLiteral("MQTT: discovery topic prefix (default homeassistant)."),
            QStringLiteral("PREFIX")},
        {User, QStringLiteral("MQTT: user name of the login."), QStringLiteral("USER")},
        {PasswordFile,
            QStringLiteral("MQTT: read the password from the first line of FILE; without it, from the "
                           "environment variable %1.")
                .arg(QLatin1String(PasswordVariable)),
            QStringLiteral("FILE")},
        {CaFile, QStringLiteral("MQTT: use TLS, trusting the certificate authority in FILE."),
            QStringLiteral("FILE")},
        {Qos, QStringLiteral("MQTT: quality of service 0 or 1 (default 1)."), QStringLiteral("Q")},
    });
}

std::optional<MqttSettings> readMqttOptions(const QCommandLineParser &parser, QString &error)
{
    if (!parser.isSet(Mqtt)) {
        for (const QString &name : {Topic, Discovery, User, PasswordFile, CaFile, Qos})
            if (parser.isSet(name)) {
                error = QStringLiteral("--%1 needs --mqtt.").arg(name);
                return std::nullopt;
            }
        return std::nullopt;
    }
    MqttSettings settings;
    const auto address = parseBrokerAddress(last(parser, Mqtt));
    if (!address) {
        error = QStringLiteral("--mqtt takes HOST or HOST:PORT with a port from 1 to 65535, not '%1'.")
                    .arg(last(parser, Mqtt));
        return std::nullopt;
    }
    std::tie(settings.host, settings.port) = *address;
    for (const auto &[name, prefix] :
        {std::pair {Topic, &settings.topicPrefix}, std::pair {Discovery, &settings.discoveryPrefix}}) {
        if (!parser.isSet(name))
            continue;
        *prefix = last(parser, name);
        if (!isTopicPrefix(*prefix)) {
            error = QStringLiteral("--%1 takes a topic without +, # or empty levels, not '%2'.")
                        .arg(name, *prefix);
            return std::nullopt;
        }
    }
    if (parser.isSet(Qos)) {
        const QString qos = last(parser, Qos);
        if (qos != QLatin1String("0") && qos != QLatin1String("1")) {
            error = QStringLiteral("--mqtt-qos takes 0 or 1, not '%1'.").arg(qos);
            return std::nullopt;
        }
        settings.qos = qos.toInt();
    }
    if (parser.isSet(User))
        settings.user = last(parser, User);
    if (parser.isSet(PasswordFile)) {
        if (settings.user.isEmpty()) {
            error = QStringLiteral("--mqtt-password-file needs --mqtt-user.");
            return std::nullopt;
        }
        settings.password = readPassword(last(parser, PasswordFile));
        if (!settings.password) {
            error
                = QStringLiteral("Cannot read the MQTT password file '%1'.").arg(last(parser, PasswordFile));
            return std::nullopt;
        }
    } else if (!settings.user.isEmpty() && qEnvironmentVariableIsSet(PasswordVariable)) {
        settings.password = qEnvironmentVariable(PasswordVariable);
    }
    if (parser.isSet(CaFile)) {
        settings.caFile = last(parser, CaFile);
        if (!QFile(settings.caFile).open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read the MQTT CA file '%1'.").arg(settings.caFile);
            return std::nullopt;
        }
    }
    return settings;
}

} // namespace publish
