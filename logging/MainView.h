// What the logging logic needs of the main window: it reads settings and shows state only through this.
// The readings themselves go out through ReadingsListener.
#pragma once

#include "logging/Alarms.h"

#include <QLocale>
#include <QString>
#include <cstdint>

namespace logging {

enum class TextField {
    Text1, // sensor number
    Text2, // COM port
    Text3, // interval
    Text4, // delay
    Text5, // log path
};
enum class Control {
    Text1, // sensor number
    Text2, // COM port
    Text3, // interval
    Text4, // delay
    Text5, // log path
    Check1, // logging
    Combo_res, // resolution
    Command1, // write
    Command2, // STOP
    Command3, // START
    Command4, // help
};

// Lamp colours: 24-bit values with red in the low byte.
inline constexpr int32_t LampGreen = 65280;
inline constexpr int32_t LampRed = 255;

class MainView
{
public:
    virtual ~MainView() = default;

    virtual QString text(TextField field) const = 0;
    virtual int check1State() const = 0; // 0 not ticked, 1 ticked
    virtual int comboResPosition() const = 0; // -1 (nothing chosen) to 3
    // The locale the numbers of the text fields are typed in: the user's, unless the view says otherwise.
    virtual QLocale numberLocale() const { return QLocale(); }
    // "Convert all sensors at once": the all-at-once cycle instead of one conversion per sensor.
    virtual bool convertAll() const { return false; }

    virtual void setLampColour(int32_t colour) = 0;
    // lstDevices: what START found, and what the log file has to say.
    virtual void clearDevices() = 0;
    virtual void appendDeviceLine(const QString &line) = 0;
    virtual void setControlEnabled(Control control, bool enabled) = 0;
    virtual void setTimerEnabled(bool enabled) = 0;
    virtual void setTimerInterval(int32_t milliseconds) = 0;

    // A message box with only OK, no icon, captioned "KX4136 logger"; returns when the user closed it.
    virtual void showMessage(const QString &text) = 0;
    // The same box, but the call returns at once: for messages during a run, whose cycles must go on
    // while the box waits for the user. A view whose messages never wait need not tell them apart.
    virtual void tellMessage(const QString &text) { showMessage(text); }
    // Names the device and why the session could not start, after the message that it could not: the
    // window lists it with the devices.
    virtual void showStartFailure(const QString &line) { appendDeviceLine(line); }
    // A sensor's alarm state changed: listed with the devices; a view may tell it in its own way as well.
    virtual void tellAlarm(const AlarmChange &change) { appendDeviceLine(alarmLine(change)); }
    // Ends the program now (after a close that had to wait for the bus).
    virtual void endProgram() = 0;
};

} // namespace logging
