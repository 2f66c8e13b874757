// The main window's stand-in for a run without a window: settings from the command line, output as text.
#pragma once

#include "logging/MainView.h"
#include "logging/Readings.h"

#include <QObject>
#include <QTimer>

class QTextStream;

namespace app {

// The settings a console run hands to run control, as the texts and the tick of the window's fields.
// The numbers are written as on a command line, with a dot whatever the user's language.
struct ConsoleSettings
{
    QString port; // Text2
    QString interval; // Text3
    QString delay; // Text4
    QString logPath; // Text5
    bool log = true; // Check1
    // A cycle as one line rather than a block: a journal stamps and filters each line on its own.
    bool cycleOnOneLine = false;
    bool convertAll = false; // "Convert all sensors at once"
    // --format json: every line of standard output a JSON object (JsonLines.h).
    bool json = false;
};

class ConsoleView : public QObject, public logging::MainView, public logging::ReadingsListener
{
    Q_OBJECT

public:
    // Device lines and cycle blocks go to `out`, messages to `err`; both are flushed line by line so a
    // reader at the other end of a pipe sees each as it happens. Cycle blocks come as a readings listener.
    ConsoleView(const ConsoleSettings &settings, QTextStream &out, QTextStream &err);

    // logging::MainView
    QString text(logging::TextField field) const override;
    int check1State() const override;
    int comboResPosition() const override;
    QLocale numberLocale() const override;
    bool convertAll() const override { return m_settings.convertAll; }
    void setLampColour(int32_t colour) override;
    void clearDevices() override;
    void appendDeviceLine(const QString &line) override;
    void setControlEnabled(logging::Control control, bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int32_t milliseconds) override;
    void showMessage(const QString &text) override;
    void showStartFailure(const QString &line) override;
    void endProgram() override;
    void tellAlarm(const logging::AlarmChange &change) override;

    // logging::ReadingsListener: prints the cycle's time, then its readings as the window lists them, each
    // with the sensor's name after it when it has one.
    void cycleEnded(const logging::CycleRecord &cycle) override;
    // JSON only: the run's sensors and their names; the text has them in the device list.
    void runStarted(const logging::RunRecord &run) override;
    int cyclesPrinted() const { return m_cyclesPrinted; }

signals:
    void timer1Tick();

private:
    void printLine(QTextStream &stream, const QString &line);

    ConsoleSettings m_settings;
    QTextStream &m_out;
    QTextStream &m_err;
    QTimer m_timer1;
    int m_cyclesPrinted = 0;
};

} // namespace app
