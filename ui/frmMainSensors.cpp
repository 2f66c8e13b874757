// The main window's sensor commands: "Name and limits…" in lstDevices' menu, and the alarms' notifications.
#include "logging/SensorsFile.h"
#include "ui/SensorDialog.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QListWidget>
#include <QStyle>
#include <QSystemTrayIcon>

namespace ui {

void frmMain::setSensorsFile(const QString &path)
{
    m_sensorsFile = path;
}

void frmMain::aimSensorAction(const QPoint &at)
{
    const QListWidgetItem *row = lstDevices->itemAt(at);
    const std::optional<ListedSensor> sensor = row ? listedSensor(row->text()) : std::nullopt;
    sensorAction->disconnect(this);
    sensorAction->setEnabled(sensor && !m_sensorsFile.isEmpty());
    if (sensorAction->isEnabled())
        connect(sensorAction, &QAction::triggered, this, [this, sensor = *sensor] { editSensor(sensor); });
}

// The file's own values are the ones edited, so that an OK keeps what the dialog does not show.
void frmMain::editSensor(const ListedSensor &sensor)
{
    for (SensorDialog *open : findChildren<SensorDialog *>()) {
        if (open->rom() == sensor.rom) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    const auto file = logging::readSensorsFile(m_sensorsFile);
    if (!file) {
        tellMessage(file.failure());
        return;
    }
    const auto found = file->find(sensor.rom);
    auto *dialog = new SensorDialog(
        sensor, found == file->end() ? logging::SensorSettings() : found->second, m_sensorsFile, this);
    connect(dialog, &SensorDialog::saved, this, &frmMain::sensorSettingsSaved);
    dialog->show();
}

void frmMain::tellAlarm(const logging::AlarmChange &change)
{
    const QString line = logging::alarmLine(change);
    appendDeviceLine(line);
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
        return;
    if (!m_tray) {
        const QIcon icon
            = windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : windowIcon();
        m_tray = new QSystemTrayIcon(icon, this);
        m_tray->setToolTip(windowTitle());
        m_tray->show();
    }
    const bool alarm = change.state != logging::AlarmState::Ok;
    m_tray->showMessage(windowTitle(), line, alarm ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

} // namespace ui
