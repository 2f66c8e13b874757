// The main window's stand-in for a run without a window: settings from the command line, output as text.
#include "app/ConsoleView.h"

#include "app/JsonLines.h"
#include "logging/TextFormats.h"

#include <QLocale>
#include <QTextStream>

namespace app {

ConsoleView::ConsoleView(const ConsoleSettings &settings, QTextStream &out, QTextStream &err)
    : m_settings(settings)
    , m_out(out)
    , m_err(err)
{
    connect(&m_timer1, &QTimer::timeout, this, &ConsoleView::timer1Tick);
}

QString ConsoleView::text(logging::TextField field) const
{
    switch (field) {
    case logging::TextField::Text1:
        return QStringLiteral("0");
    case logging::TextField::Text2:
        return m_settings.port;
    case logging::TextField::Text3:
        return m_settings.interval;
    case logging::TextField::Text4:
        return m_settings.delay;
    case logging::TextField::Text5:
        return m_settings.logPath;
    }
    return QString();
}

int ConsoleView::check1State() const
{
    return m_settings.log ? 1 : 0;
}

int ConsoleView::comboResPosition() const
{
    return -1;
}

QLocale ConsoleView::numberLocale() const
{
    // Numbers on a command line are written alike in every language: "1,5" is no number here, whatever
    // it means in the user's.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    return c;
}

void ConsoleView::setLampColour(int32_t)
{
    // The lamp shows a transaction in progress, which a terminal has no use for.
}

void ConsoleView::clearDevices()
{
    // What was printed stays printed.
}

void ConsoleView::appendDeviceLine(const QString &line)
{
    printLine(m_out, m_settings.json ? jsonlines::deviceListLine(line) : line);
}

void ConsoleView::setControlEnabled(logging::Control, bool)
{
    // Nothing can be typed into a console run once it has started.
}

void ConsoleView::setTimerEnabled(bool enabled)
{
    if (enabled)
        m_timer1.start();
    else
        m_timer1.stop();
}

void ConsoleView::setTimerInterval(int32_t milliseconds)
{
    m_timer1.setInterval(milliseconds);
}

void ConsoleView::showMessage(const QString &text)
{
    printLine(m_err, text);
}

void ConsoleView::showStartFailure(const QString &line)
{
    // Below the message, where the one who reads it looks.
    printLine(m_err, line);
}

void ConsoleView::endProgram()
{
    // A console run never asks to close, so run control never ends the program through its view.
}

void ConsoleView::tellAlarm(const logging::AlarmChange &change)
{
    if (m_settings.json)
        printLine(m_out, jsonlines::alarmLine(change));
    else
        MainView::tellAlarm(change);
}

void ConsoleView::runStarted(const logging::RunRecord &run)
{
    if (m_settings.json)
        printLine(m_out, jsonlines::runLine(run));
}

void ConsoleView::cycleEnded(const logging::CycleRecord &cycle)
{
    if (m_settings.json) {
        printLine(m_out, jsonlines::cycleLine(cycle));
        ++m_cyclesPrinted;
        return;
    }
    const QString when = logging::dateTimeText(cycle.when);
    QStringList readings = logging::readingListLines(cycle);
    // The name after the reading; the window's list keeps its lines as they always were.
    for (qsizetype i = 0; i < readings.size(); ++i)
        if (const QString &name = cycle.sensors.at(i).settings.name; !name.isEmpty())
            readings[i] += QStringLiteral("  ") + name;
    if (m_settings.cycleOnOneLine) {
        printLine(m_out, when + QStringLiteral("  ") + readings.join(QStringLiteral("; ")));
    } else {
        printLine(m_out, when);
        for (const QString &line : readings)
            printLine(m_out, line);
    }
    ++m_cyclesPrinted;
}

void ConsoleView::printLine(QTextStream &stream, const QString &line)
{
    stream << line << '\n';
    stream.flush();
}

} // namespace app
