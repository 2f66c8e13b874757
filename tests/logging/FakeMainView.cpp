// A main window stand-in for run-control tests: holds the settings and records every call made to it.
#include "FakeMainView.h"

#include "logging/TextFormats.h"

using namespace logging;

namespace {

const char *controlName(Control c)
{
    static const char *const names[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Check1", "Combo_res",
        "Command1", "Command2", "Command3", "Command4"};
    return names[static_cast<int>(c)];
}

} // namespace

FakeMainView::FakeMainView()
{
    // The window's design state: settings defaults, everything enabled except "Write to sensor".
    texts = {{TextField::Text1, QStringLiteral("0")}, {TextField::Text2, QStringLiteral("1")},
        {TextField::Text3, QStringLiteral("5")}, {TextField::Text4, QStringLiteral("500")},
        {TextField::Text5, QString()}};
    for (int c = 0; c <= static_cast<int>(Control::Command4); ++c)
        enabled[static_cast<Control>(c)] = true;
    enabled[Control::Command1] = false;
}

void FakeMainView::setLampColour(int32_t colour)
{
    lamp = colour;
    record(colour == LampRed      ? QStringLiteral("lamp red")
            : colour == LampGreen ? QStringLiteral("lamp green")
                                  : QStringLiteral("lamp %1").arg(colour));
}

void FakeMainView::clearDevices()
{
    devices.clear();
    record(QStringLiteral("clear lstDevices"));
}

void FakeMainView::appendDeviceLine(const QString &line)
{
    devices.append(line);
    record(QStringLiteral("lstDevices ") + line);
}

void FakeMainView::cycleEnded(const CycleRecord &cycle)
{
    cycles.append(cycle);
    label5 = dateTimeText(cycle.when);
    temps = readingListLines(cycle);
    record(QStringLiteral("cycle ") + label5);
}

void FakeMainView::setControlEnabled(Control control, bool on)
{
    enabled[control] = on;
    record(QStringLiteral("enable %1 %2").arg(QLatin1String(controlName(control))).arg(on ? 1 : 0));
}

void FakeMainView::setTimerEnabled(bool on)
{
    timerEnabled = on;
    record(QStringLiteral("timer %1").arg(on ? 1 : 0));
}

void FakeMainView::setTimerInterval(int32_t milliseconds)
{
    timerInterval = milliseconds;
    record(QStringLiteral("interval %1").arg(milliseconds));
}

void FakeMainView::showMessage(const QString &text)
{
    messages.append(text);
    record(QStringLiteral("message ") + text);
    if (whileMessageShown)
        whileMessageShown();
}

void FakeMainView::tellMessage(const QString &text)
{
    messages.append(text);
    record(QStringLiteral("message ") + text);
}

void FakeMainView::endProgram()
{
    ++endProgramCalls;
    record(QStringLiteral("end program"));
}

void FakeMainView::record(const QString &call)
{
    calls.append(call);
    if (onCall)
        onCall(call);
}

QStringList FakeMainView::callsMatching(const QString &prefix) const
{
    QStringList result;
    for (const QString &call : calls)
        if (call.startsWith(prefix))
            result.append(call);
    return result;
}
