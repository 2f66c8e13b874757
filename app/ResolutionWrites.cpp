// Resolution writes without a window: the option's value, and the writes after START through run control.
#include "app/ResolutionWrites.h"

#include "logging/RunControl.h"

#include <QRegularExpression>

namespace app {

namespace {

constexpr int MaxIndex = 31;
constexpr int MinBits = 9;
constexpr int MaxBits = 12;

} // namespace

std::optional<ResolutionWrite> parseResolutionWrite(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2})=([0-9]{1,2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int index = match.captured(1).toInt();
    const int bits = match.captured(2).toInt();
    if (index > MaxIndex || bits < MinBits || bits > MaxBits)
        return std::nullopt;
    return ResolutionWrite {static_cast<int16_t>(index), bits};
}

ExitStatus writeResolutions(
    logging::RunControl &run, logging::MainView &view, const QList<ResolutionWrite> &writes)
{
    // All are checked before the first is written: half a set of writes is worse than none.
    for (const ResolutionWrite &write : writes) {
        if (run.sensorRom(write.index))
            continue;
        int listed = 0;
        while (run.sensorRom(listed))
            ++listed;
        view.showMessage(listed == 0
                ? QStringLiteral("--set-resolution names sensor #%1, but START listed no sensor.")
                      .arg(write.index)
                : QStringLiteral(
                    "--set-resolution names sensor #%1, but START listed sensors #0 to #%2 only.")
                      .arg(write.index)
                      .arg(listed - 1));
        return WrongSetting;
    }
    using Outcome = logging::RunControl::WriteOutcome;
    ExitStatus status = Ended;
    for (const ResolutionWrite &write : writes) {
        switch (run.writeResolution(write.index, write.bits)) {
        case Outcome::Written:
            view.appendDeviceLine(QStringLiteral("Sensor #%1 : %2-bit written, alarm bytes kept.")
                                      .arg(write.index)
                                      .arg(write.bits));
            break;
        case Outcome::NotCompleted:
            view.appendDeviceLine(QStringLiteral("Sensor #%1 : the %2-bit write did not complete on the bus.")
                                      .arg(write.index)
                                      .arg(write.bits));
            status = Failed;
            break;
        case Outcome::AlarmBytesUnread:
            // Run control has listed why.
            status = Failed;
            break;
        case Outcome::Refused:
            // A stop ended the run: the writes left are not made.
            return Failed;
        }
    }
    return status;
}

} // namespace app
