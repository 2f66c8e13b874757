// The main window's pop-up menus on its two lists, and the chart's double click and shortcut.
#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>

namespace ui {

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

} // namespace ui
