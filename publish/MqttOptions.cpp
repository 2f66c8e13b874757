// The --mqtt options: checked in full before anything starts, so a wrong one never half-starts a run.
#include "publish/MqttOptions.h"

#include "logging/LogFile.h"
#include "publish/MqttDiscovery.h"
#include "publish/MqttMessages.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
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
    wipe(line);
    return password;
}

} // namespace

QString specialFileError(const QString &option, const QString &path)
{
    const QFileInfo file(path);
    return file.exists() && !file.isFile()
        ? QStringLiteral("--%1 takes a regular file, not '%2'.").arg(option, path)
        : QString();
}

// Through the shared buffer on purpose: every implicitly shared copy of the secret is cleared with it.
// Static data (a literal) is not writable and holds no secret.
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
        {RemoveMissing,
            QStringLiteral("MQTT: remove the discovery messages of sensors announced by an earlier run and "
                           "not found at START, instead of marking them unavailable.")},
    });
}

std::optional<MqttSettings> readMqttOptions(const QCommandLineParser &parser, QString &error)
{
    if (!parser.isSet(Mqtt)) {
        for (const QString &name : {Topic, Discovery, User, PasswordFile, CaFile, Qos, RemoveMissing})
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
        error = topicPrefixError(name, *prefix);
        if (!error.isEmpty())
            return std::nullopt;
    }
    const qsizetype longest = std::max({temperatureTopic(settings, {}).toUtf8().size(),
        availabilityTopic(settings, {}).toUtf8().size(), alarmDiscoveryTopic(settings, {}).toUtf8().size()});
    if (longest > MaxTopicBytes) {
        error = QStringLiteral("The MQTT topic prefixes are too long: a topic takes at most %1 bytes.")
                    .arg(MaxTopicBytes);
        return std::nullopt;
    }
    if (parser.isSet(Qos)) {
        const QString qos = last(parser, Qos);
        if (qos != QLatin1String("0") && qos != QLatin1String("1")) {
            error = QStringLiteral("--mqtt-qos takes 0 or 1, not '%1'.").arg(qos);
            return std::nullopt;
        }
        settings.qos = qos.toInt();
    }
    settings.removeMissing = parser.isSet(RemoveMissing);
    settings.stateFolder = logging::defaultPendingFolder();
    if (parser.isSet(User))
        settings.user = last(parser, User);
    if (parser.isSet(PasswordFile)) {
        if (settings.user.isEmpty()) {
            error = QStringLiteral("--mqtt-password-file needs --mqtt-user.");
            return std::nullopt;
        }
        error = specialFileError(PasswordFile, last(parser, PasswordFile));
        if (!error.isEmpty())
            return std::nullopt;
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
        error = specialFileError(CaFile, settings.caFile);
        if (!error.isEmpty())
            return std::nullopt;
        if (!QFile(settings.caFile).open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read the MQTT CA file '%1'.").arg(settings.caFile);
            return std::nullopt;
        }
    }
    return settings;
}

} // namespace publish
