// A main window stand-in for run-control tests: holds the settings and records every call made to it.
#pragma once

#include "logging/MainView.h"
#include "logging/Readings.h"

#include <QStringList>
#include <functional>
#include <map>
#include <optional>

class FakeMainView : public logging::MainView, public logging::ReadingsListener
{
public:
    FakeMainView();

    QString text(logging::TextField field) const override { return texts.at(field); }
    int check1State() const override { return check1; }
    int comboResPosition() const override { return comboRes; }
    QLocale numberLocale() const override { return locale.value_or(QLocale()); }
    bool convertAll() const override { return convertAllTicked; }

    void setLampColour(int32_t colour) override;
    void clearDevices() override;
    void appendDeviceLine(const QString &line) override;
    void setControlEnabled(logging::Control control, bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int32_t milliseconds) override;
    void showMessage(const QString &text) override;
    // Recorded as a message, but the user's clicks come after it: it does not wait.
    void tellMessage(const QString &text) override;
    void endProgram() override;
    void runStarted(const logging::RunRecord &run) override { runs.append(run); }
    // As the window shows a cycle: its time in label5, its lines in temps; recorded as "cycle <time>".
    void cycleEnded(const logging::CycleRecord &cycle) override;

    bool isEnabled(logging::Control control) const { return enabled.at(control); }
    // Every call, in order, as short texts ("lamp red", "enable Command1 0", "message Wrong ...").
    QStringList calls;
    QStringList callsMatching(const QString &prefix) const;

    std::map<logging::TextField, QString> texts;
    int check1 = 1;
    int comboRes = -1;
    std::optional<QLocale> locale; // none: the user's, as the window's
    bool convertAllTicked = false;

    int32_t lamp = logging::LampGreen;
    QString label5;
    QStringList devices;
    QStringList temps;
    std::map<logging::Control, bool> enabled;
    bool timerEnabled = false;
    int32_t timerInterval = 1000;
    QStringList messages;
    QList<logging::RunRecord> runs;
    QList<logging::CycleRecord> cycles;
    int endProgramCalls = 0;
    // Runs while a message box would be open, as the user's clicks during it would.
    std::function<void()> whileMessageShown;
    // Told every call as it is recorded (to interleave the calls with a recording driver's).
    std::function<void(const QString &call)> onCall;

private:
    void record(const QString &call);
};
