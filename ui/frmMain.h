// The main window: settings, run buttons, lamp, clock and the two lists; the view the logging logic works on.
#pragma once

#include "logging/MainView.h"
#include "logging/Readings.h"

#include <QWidget>
#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMouseEvent;
class QMessageBox;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace ui {

class LampShape;
struct ListedSensor;

class frmMain : public QWidget, public logging::MainView, public logging::ReadingsListener
{
    Q_OBJECT

public:
    using CloseHandler = std::function<bool()>;

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // logging::MainView
    QString text(logging::TextField field) const override;
    int check1State() const override;
    int comboResPosition() const override;
    bool convertAll() const override;
    void setLampColour(int32_t colour) override;
    void clearDevices() override;
    void appendDeviceLine(const QString &line) override;
    void setControlEnabled(logging::Control control, bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int32_t milliseconds) override;
    void showMessage(const QString &text) override;
    void tellMessage(const QString &text) override;
    void endProgram() override;
    // The line in lstDevices, and a desktop notification where the desktop has a notification area.
    void tellAlarm(const logging::AlarmChange &change) override;

    // logging::ReadingsListener: the cycle's time in Label5, its readings in lstTemp.
    void cycleEnded(const logging::CycleRecord &cycle) override;

    // Ticks or clears "Convert all sensors at once" (from the command line).
    void setConvertAll(bool on);
    // The log path the window starts with, before any START.
    void setLogPath(const QString &path);
    // The sensors file "Name and limits…" writes; without one the entry stays disabled.
    void setSensorsFile(const QString &path);

    // Asked on every close by the user: true closes now, false holds the close until endProgram().
    void setCloseHandler(CloseHandler handler);

    // The resize rule: lstTemp keeps its corner and reaches to 6 pixels short of the client area's right and
    // bottom edges; a size that would go negative leaves the rest untouched.
    void FitReadingList();

public slots:
    // Shows the information window modally and returns when it has been closed.
    void ShowInfo();

signals:
    void command1Clicked();
    void command2Clicked();
    void command3Clicked();
    void timer1Tick();
    // The chart of the current run (a double click on lstTemp, its menu, Ctrl+G); a log file in a chart.
    void chartRequested();
    void logChartRequested();
    // "Name and limits…" saved a sensor's settings to the sensors file.
    void sensorSettingsSaved(const logging::RomCode &rom, const logging::SensorSettings &settings);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void placeControls();
    void setFonts();
    void chainTabOrder();
    void connectControls();
    void addChartCommands();
    void addDeviceCommands();
    void popUpActionsOf(QListWidget *list);
    // Points "Name and limits…" at the sensor listed where the menu opens, or disables it.
    void aimSensorAction(const QPoint &at);
    void editSensor(const ListedSensor &sensor);
    bool passClickOn(QMenu *menu, QMouseEvent *press);
    // OK only, no icon, the window's caption; it deletes itself once closed.
    QMessageBox *messageBox(const QString &text);
    QLineEdit *textBox(logging::TextField field) const;
    QWidget *control(logging::Control control) const;

    QGroupBox *Frame2 = nullptr;
    LampShape *Shape1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text2 = nullptr;
    std::array<QLabel *, 2> Label2 {};
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer *Timer1 = nullptr;

    QGroupBox *Frame1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QComboBox *Combo_res = nullptr;
    QPushButton *Command1 = nullptr;

    QLabel *Label5 = nullptr;
    QPushButton *Command4 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLineEdit *Text5 = nullptr;
    QListWidget *lstDevices = nullptr;
    QListWidget *lstTemp = nullptr;
    QAction *convertAllAction = nullptr;
    QAction *sensorAction = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QString m_sensorsFile;

    CloseHandler m_closeHandler;
    bool m_ending = false;
};

} // namespace ui
