// The "Name and limits…" dialog: a sensor's name and alarm limits, saved to the sensors file.
#pragma once

#include "logging/Readings.h"

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;

namespace ui {

// The sensor a line of lstDevices lists ("Sensor #0 : 28 … , 12-bit"); none for any other line.
struct ListedSensor
{
    int index = 0;
    logging::RomCode rom {};
};
std::optional<ListedSensor> listedSensor(const QString &deviceLine);

// Opened without a loop of its own, so that cycles go on while the user types. OK writes the sensors file
// and tells `saved`; a value that cannot be taken keeps the dialog open with the reason in it.
class SensorDialog : public QDialog
{
    Q_OBJECT

public:
    SensorDialog(const ListedSensor &sensor, const logging::SensorSettings &settings,
        const QString &sensorsPath, QWidget *parent);

    const logging::RomCode &rom() const { return m_sensor.rom; }
    void accept() override;

signals:
    void saved(const logging::RomCode &rom, const logging::SensorSettings &settings);

private:
    // The limit a field holds: none when empty; false when it holds no number.
    bool limitIn(const QLineEdit *field, std::optional<double> &limit) const;

    ListedSensor m_sensor;
    logging::SensorSettings m_settings;
    QString m_path;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_low = nullptr;
    QLineEdit *m_high = nullptr;
    QLabel *m_problem = nullptr;
};

} // namespace ui
