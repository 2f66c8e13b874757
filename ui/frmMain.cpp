// The main window's behaviour: the view operations, the resize rule, closing and the run-control hooks.
#include "ui/frmMain.h"

#include "logging/TextFormats.h"
#include "ui/LampShape.h"
#include "ui/frmInfo.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QTimer>

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

// A setting taken at START, in lstDevices' menu so the window keeps its layout; it changes only while
// START may be clicked.
void frmMain::addDeviceCommands()
{
    convertAllAction = new QAction(QStringLiteral("Convert all sensors at once"), lstDevices);
    convertAllAction->setObjectName(QStringLiteral("convertAllAction"));
    convertAllAction->setCheckable(true);
    lstDevices->addAction(convertAllAction);
    sensorAction = new QAction(QStringLiteral("Name and limits\u2026"), lstDevices);
    sensorAction->setObjectName(QStringLiteral("sensorAction"));
    lstDevices->addAction(sensorAction);
    popUpActionsOf(lstDevices);
}

bool frmMain::convertAll() const
{
    return convertAllAction->isChecked();
}

void frmMain::setLogPath(const QString &path)
{
    Text5->setText(path);
}

void frmMain::setConvertAll(bool on)
{
    convertAllAction->setChecked(on);
}

// The chart comes in without a control of its own, so the window keeps its layout.
void frmMain::addChartCommands()
{
    auto *chart = new QAction(QStringLiteral("Chart\u2026"), lstTemp);
    auto *logChart = new QAction(QStringLiteral("Open log file in chart\u2026"), lstTemp);
    connect(chart, &QAction::triggered, this, &frmMain::chartRequested);
    connect(logChart, &QAction::triggered, this, &frmMain::logChartRequested);
    lstTemp->addActions({chart, logChart});
    popUpActionsOf(lstTemp);
    lstTemp->viewport()->installEventFilter(this);
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &frmMain::chartRequested);
}

// A menu that ran its own event loop would hold a bus wait open for as long as the user looks at it.
void frmMain::popUpActionsOf(QListWidget *list)
{
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint &at) {
        if (list == lstDevices)
            aimSensorAction(at);
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->setAttribute(Qt::WA_NoMouseReplay);
        menu->installEventFilter(this);
        menu->addActions(list->actions());
        menu->popup(list->viewport()->mapToGlobal(at));
    });
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (auto *menu = qobject_cast<QMenu *>(watched); menu && event->type() == QEvent::MouseButtonPress)
        return passClickOn(menu, static_cast<QMouseEvent *>(event));
    if (watched == lstTemp->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        emit chartRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// A press beside the menu closes it and clicks the control under it, so that the first click on STOP
// stops; most platforms would only close the menu.
bool frmMain::passClickOn(QMenu *menu, QMouseEvent *press)
{
    if (menu->rect().contains(press->position().toPoint()))
        return false;
    const QPointF global = press->globalPosition();
    menu->close();
    QWidget *target = childAt(mapFromGlobal(global.toPoint()));
    // The press's release goes nowhere once it has closed a menu: the whole click is passed on.
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        if (!target || !target->isEnabled())
            break;
        QMouseEvent replayed(type, target->mapFromGlobal(global), global, press->button(),
            type == QEvent::MouseButtonPress ? press->buttons() : Qt::NoButton, press->modifiers());
        QApplication::sendEvent(target, &replayed);
    }
    return true;
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

void frmMain::FitReadingList()
{
    fitReadingListTo(size());
}

void frmMain::fitReadingListTo(const QSize &client)
{
    const int w = client.width() - 14;
    if (w < 0)
        return;
    lstTemp->resize(w, lstTemp->height());
    const int h = client.height() - 310;
    if (h < 0)
        return;
    lstTemp->resize(lstTemp->width(), h);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitReadingListTo(event->size());
}

void frmMain::ShowInfo()
{
    auto *info = new frmInfo(this);
    info->setAttribute(Qt::WA_DeleteOnClose);
    info->exec();
}
