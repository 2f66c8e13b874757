// The --mqtt options: checked in full before anything starts, so a wrong one never half-starts a run.
#include "app/MqttOptions.h"

#include "app/OptionValues.h"
#include "logging/LogFile.h"
#include "publish/MqttDiscovery.h"
#include "publish/MqttMessages.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace app {

namespace {

const QString Mqtt = QStringLiteral("mqtt");
const QString Topic = QStringLiteral("mqtt-topic");
const QString Discovery = QStringLiteral("mqtt-discovery-prefix");
const QString User = QStringLiteral("mqtt-user");
const QString PasswordFile = QStringLiteral("mqtt-password-file");
const QString CaFile = QStringLiteral("mqtt-cafile");
const QString Qos = QStringLiteral("mqtt-qos");
const QString RemoveMissing = QStringLiteral("mqtt-remove-missing");
// A topic's length field in the protocol has two bytes.
constexpr qsizetype MaxTopicBytes = 65535;

QString last(const QCommandLineParser &parser, const QString &name)
{
    return parser.values(name).last();
}

// A prefix goes in front of every topic: nothing a broker may refuse, or take for something else, while
// the program shows "connected". A prefix holding characters that are no text is not repeated in the
// message, which must stay one readable line.
QString topicPrefixError(const QString &name, const QString &prefix)
{
    static const QRegularExpression wrong(QStringLiteral("[+#]|^/|/$|//"));
    const auto notText
        = [](QChar c) { return c.category() == QChar::Other_Control || c.isNonCharacter() || c.isNull(); };
    if (!prefix.isValidUtf16() || std::any_of(prefix.begin(), prefix.end(), notText))
        return QStringLiteral("--%1 takes text without control characters, non-characters or invalid UTF-8.")
            .arg(name);
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("--%1 must not start with $: such topics are the broker's own.").arg(name);
    if (prefix.isEmpty() || prefix.contains(wrong))
        return QStringLiteral("--%1 takes a topic without +, # or empty levels, not '%2'.").arg(name, prefix);
    return QString();
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
    publish::wipe(line);
    return password;
}

// Each reads its part into `settings`; the failure text, or empty.

QString readTopics(const QCommandLineParser &parser, publish::MqttSettings &settings)
{
    for (const auto &[name, prefix] :
        {std::pair {Topic, &settings.topicPrefix}, std::pair {Discovery, &settings.discoveryPrefix}}) {
        if (!parser.isSet(name))
            continue;
        *prefix = last(parser, name);
        if (QString error = topicPrefixError(name, *prefix); !error.isEmpty())
            return error;
    }
    const qsizetype longest = std::max({publish::temperatureTopic(settings, {}).toUtf8().size(),
        publish::availabilityTopic(settings, {}).toUtf8().size(),
        publish::alarmDiscoveryTopic(settings, {}).toUtf8().size()});
    if (longest > MaxTopicBytes)
        return QStringLiteral("The MQTT topic prefixes are too long: a topic takes at most %1 bytes.")
            .arg(MaxTopicBytes);
    return QString();
}

QString readQos(const QCommandLineParser &parser, publish::MqttSettings &settings)
{
    if (!parser.isSet(Qos))
        return QString();
    const QString qos = last(parser, Qos);
    if (qos != QLatin1String("0") && qos != QLatin1String("1"))
        return QStringLiteral("--mqtt-qos takes 0 or 1, not '%1'.").arg(qos);
    settings.qos = qos.toInt();
    return QString();
}

QString readLogin(const QCommandLineParser &parser, publish::MqttSettings &settings)
{
    if (parser.isSet(User))
        settings.user = last(parser, User);
    if (!parser.isSet(PasswordFile)) {
        if (!settings.user.isEmpty() && qEnvironmentVariableIsSet(PasswordVariable))
            settings.password = qEnvironmentVariable(PasswordVariable);
        return QString();
    }
    if (settings.user.isEmpty())
        return QStringLiteral("--mqtt-password-file needs --mqtt-user.");
    if (QString error = specialFileError(PasswordFile, last(parser, PasswordFile)); !error.isEmpty())
        return error;
    settings.password = readPassword(last(parser, PasswordFile));
    if (!settings.password)
        return QStringLiteral("Cannot read the MQTT password file '%1'.").arg(last(parser, PasswordFile));
    return QString();
}

QString readCaFile(const QCommandLineParser &parser, publish::MqttSettings &settings)
{
    if (!parser.isSet(CaFile))
        return QString();
    settings.caFile = last(parser, CaFile);
    if (QString error = specialFileError(CaFile, settings.caFile); !error.isEmpty())
        return error;
    if (!QFile(settings.caFile).open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read the MQTT CA file '%1'.").arg(settings.caFile);
    return QString();
}

} // namespace

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
        {RemoveMissing,
            QStringLiteral("MQTT: remove the discovery messages of sensors announced by an earlier run and "
                           "not found at START, instead of marking them unavailable.")},
    });
}

base::Result<std::optional<publish::MqttSettings>> readMqttOptions(const QCommandLineParser &parser)
{
    if (!parser.isSet(Mqtt)) {
        for (const QString &name : {Topic, Discovery, User, PasswordFile, CaFile, Qos, RemoveMissing})
            if (parser.isSet(name))
                return base::Failure {QStringLiteral("--%1 needs --mqtt.").arg(name)};
        return std::optional<publish::MqttSettings>();
    }
    publish::MqttSettings settings;
    const auto address = parseBrokerAddress(last(parser, Mqtt));
    if (!address)
        return base::Failure {
            QStringLiteral("--mqtt takes HOST or HOST:PORT with a port from 1 to 65535, not '%1'.")
                .arg(last(parser, Mqtt))};
    std::tie(settings.host, settings.port) = *address;
    settings.removeMissing = parser.isSet(RemoveMissing);
    settings.stateFolder = logging::defaultPendingFolder();
    for (const auto read : {readTopics, readQos, readLogin, readCaFile})
        if (QString error = read(parser, settings); !error.isEmpty())
            return base::Failure {error};
    return std::optional(settings);
}

} // namespace app
