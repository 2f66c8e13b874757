// The main window's behaviour: the view operations, messages, closing and the run-control hooks.
#include "ui/frmMain.h"

#include "logging/TextFormats.h"
#include "ui/LampShape.h"
#include "ui/frmInfo.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace ui {

using logging::Control;
using logging::TextField;

frmMain::frmMain(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("KX4136 logger"));
    createControls();
    placeControls();
    setFonts();
    chainTabOrder();
    connectControls();
    resize(423, 512);
    lstDevices->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::connectControls()
{
    connect(Command1, &QPushButton::clicked, this, &frmMain::command1Clicked);
    connect(Command2, &QPushButton::clicked, this, &frmMain::command2Clicked);
    connect(Command3, &QPushButton::clicked, this, &frmMain::command3Clicked);
    connect(Command4, &QPushButton::clicked, this, &frmMain::ShowInfo);
    connect(Timer1, &QTimer::timeout, this, &frmMain::timer1Tick);
    addChartCommands();
    addDeviceCommands();
}

void frmMain::setLogPath(const QString &path)
{
    Text5->setText(path);
}

QLineEdit *frmMain::textBox(TextField field) const
{
    switch (field) {
    case TextField::Text1:
        return Text1;
    case TextField::Text2:
        return Text2;
    case TextField::Text3:
        return Text3;
    case TextField::Text4:
        return Text4;
    case TextField::Text5:
        return Text5;
    }
    Q_UNREACHABLE();
}

QWidget *frmMain::control(Control which) const
{
    switch (which) {
    case Control::Text1:
        return Text1;
    case Control::Text2:
        return Text2;
    case Control::Text3:
        return Text3;
    case Control::Text4:
        return Text4;
    case Control::Text5:
        return Text5;
    case Control::Check1:
        return Check1;
    case Control::Combo_res:
        return Combo_res;
    case Control::Command1:
        return Command1;
    case Control::Command2:
        return Command2;
    case Control::Command3:
        return Command3;
    case Control::Command4:
        return Command4;
    }
    Q_UNREACHABLE();
}

QString frmMain::text(TextField field) const
{
    return textBox(field)->text();
}

int frmMain::check1State() const
{
    return Check1->isChecked() ? 1 : 0;
}

int frmMain::comboResPosition() const
{
    // Typing over a chosen item leaves no item chosen: the field then shows a text that is not in the list.
    const int index = Combo_res->currentIndex();
    if (index < 0 || Combo_res->currentText() != Combo_res->itemText(index))
        return -1;
    return index;
}

void frmMain::setLampColour(int32_t colour)
{
    Shape1->setFillColour(colour);
}

void frmMain::clearDevices()
{
    lstDevices->clear();
}

void frmMain::appendDeviceLine(const QString &line)
{
    lstDevices->addItem(line);
}

void frmMain::setControlEnabled(Control which, bool enabled)
{
    control(which)->setEnabled(enabled);
    if (which == Control::Command3)
        convertAllAction->setEnabled(enabled);
}

void frmMain::setTimerEnabled(bool enabled)
{
    if (enabled)
        Timer1->start();
    else
        Timer1->stop();
}

void frmMain::setTimerInterval(int32_t milliseconds)
{
    Timer1->setInterval(milliseconds);
}

void frmMain::cycleEnded(const logging::CycleRecord &cycle)
{
    Label5->setText(logging::dateTimeText(cycle.when));
    lstTemp->clear();
    lstTemp->addItems(logging::readingListLines(cycle));
}

QMessageBox *frmMain::messageBox(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

void frmMain::showMessage(const QString &text)
{
    messageBox(text)->exec();
}

void frmMain::tellMessage(const QString &text)
{
    messageBox(text)->open();
}

void frmMain::setCloseHandler(CloseHandler handler)
{
    m_closeHandler = std::move(handler);
}

void frmMain::endProgram()
{
    m_ending = true;
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_ending || !m_closeHandler || m_closeHandler())
        event->accept();
    else
        event->ignore();
}

void frmMain::ShowInfo()
{
    auto *info = new frmInfo(this);
    info->setAttribute(Qt::WA_DeleteOnClose);
    info->exec();
}

} // namespace ui
