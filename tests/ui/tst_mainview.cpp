// Tests that the main window's view operations reach the right widgets; its buttons, timer and closing.
#include "WidgetLookup.h"
#include "logging/Conversions.h"
#include "ui/LampShape.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

using logging::Control;
using logging::TextField;
using ui::frmMain;
using ui::LampShape;

namespace {

// Opens lstTemp's menu as a right click does: open, or null when the call waited until it closed.
QMenu *openMenu(QListWidget *list)
{
    QTimer::singleShot(500, list, [] {
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    });
    const QPoint at(5, 5);
    QContextMenuEvent open(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &open);
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

} // namespace

class TestMainView : public QObject
{
    Q_OBJECT

private slots:
    void typedText_data();
    void typedText();
    void longText();
    void check1State();
    void comboResPosition_data();
    void comboResPosition();
    void chosenResolutionShowsItsStart();
    void lampColour_data();
    void lampColour();
    void cycleShown();
    void numbersInTheUsersLocale();
    void devices();
    void controlEnabled_data();
    void controlEnabled();
    void timer();
    void buttonsSignal_data();
    void buttonsSignal();
    void chartCommands_data();
    void chartCommands();
    void stopWhileMenuIsOpen();
    void defaultMessageBox();
    void closing_data();
    void closing();
    void heldCloseEndsLater();
};

void TestMainView::typedText_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("name");

    QTest::newRow("Text1 sensor number") << static_cast<int>(TextField::Text1) << "Text1";
    QTest::newRow("Text2 COM port") << static_cast<int>(TextField::Text2) << "Text2";
    QTest::newRow("Text3 interval") << static_cast<int>(TextField::Text3) << "Text3";
    QTest::newRow("Text4 delay") << static_cast<int>(TextField::Text4) << "Text4";
    QTest::newRow("Text5 log path") << static_cast<int>(TextField::Text5) << "Text5";
}

void TestMainView::typedText()
{
    QFETCH(int, field);
    QFETCH(QString, name);
    frmMain w;
    auto *box = control<QLineEdit>(&w, name);
    box->selectAll();
    const QString typed = QStringLiteral("typed into ") + name;
    QTest::keyClicks(box, typed);
    QCOMPARE(w.text(TextField(field)), typed);
}

void TestMainView::longText()
{
    frmMain w;
    const QString path = QStringLiteral("/").repeated(40000) + QStringLiteral("log.txt");
    control<QLineEdit>(&w, "Text5")->setText(path);
    QCOMPARE(w.text(TextField::Text5), path);
}

void TestMainView::check1State()
{
    frmMain w;
    auto *check = control<QCheckBox>(&w, "Check1");
    QCOMPARE(w.check1State(), 1);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QCOMPARE(w.check1State(), 0);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QCOMPARE(w.check1State(), 1);
}

void TestMainView::comboResPosition_data()
{
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("typedAfter");
    QTest::addColumn<int>("position");

    QTest::newRow("nothing chosen") << -1 << QString() << -1;
    QTest::newRow("first item") << 0 << QString() << 0;
    QTest::newRow("last item") << 3 << QString() << 3;
    QTest::newRow("text typed over an item") << 1 << "x" << -1;
}

void TestMainView::comboResPosition()
{
    QFETCH(int, chosen);
    QFETCH(QString, typedAfter);
    QFETCH(int, position);
    frmMain w;
    auto *combo = control<QComboBox>(&w, "Combo_res");
    for (int i = 0; i <= chosen; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentIndex(), chosen);
    if (!typedAfter.isEmpty())
        QTest::keyClicks(combo->lineEdit(), typedAfter);
    QCOMPARE(w.comboResPosition(), position);
    QCOMPARE(combo->count(), 4);
}

void TestMainView::chosenResolutionShowsItsStart()
{
    frmMain w;
    w.show();
    auto *combo = control<QComboBox>(&w, "Combo_res");
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QStringLiteral("12-bit (0.0625 \u00B0C)"));
    // The field is narrower than the text: with the cursor at its end the "1" of "12" would be cut off.
    QCOMPARE(combo->lineEdit()->cursorPosition(), 0);
}

void TestMainView::lampColour_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QColor>("shown");

    QTest::newRow("red") << 255 << QColor(255, 0, 0);
    QTest::newRow("green") << 65280 << QColor(0, 255, 0);
    QTest::newRow("blue in the high byte") << 0xC00000 << QColor(0, 0, 192);
}

void TestMainView::lampColour()
{
    QFETCH(int, value);
    QFETCH(QColor, shown);
    frmMain w;
    auto *lamp = control<LampShape>(&w, "Shape1");
    w.setLampColour(logging::LampRed);
    w.setLampColour(value);
    QCOMPARE(lamp->fillColour(), value);
    const QImage image = lamp->grab().toImage();
    QCOMPARE(image.size(), QSize(17, 17));
    QCOMPARE(image.pixelColor(8, 8), shown);
    QCOMPARE(image.pixelColor(1, 1), shown);
    for (const QPoint &edge : {QPoint(0, 0), QPoint(16, 16), QPoint(8, 0), QPoint(0, 8), QPoint(16, 8)})
        QCOMPARE(image.pixelColor(edge), QColor(Qt::black));
}

void TestMainView::cycleShown()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    frmMain w;
    auto *readings = control<QListWidget>(&w, "lstTemp");
    readings->addItem(QStringLiteral("the cycle before"));
    w.cycleEnded({QDateTime(QDate(2026, 12, 24), QTime(18, 0, 5)), {{0, {}, 21.5F}, {3, {}, std::nullopt}}});
    QLocale::setDefault(QLocale::c());
    QCOMPARE(control<QLabel>(&w, "Label5")->text(), QStringLiteral("24.12.26 18:00:05"));
    QCOMPARE(readings->count(), 2);
    QCOMPARE(readings->item(0)->text(), QStringLiteral("Sensor #0 : 21,500 \u00B0C"));
    QCOMPARE(readings->item(1)->text(), QStringLiteral("Sensor #3 : ? \u00B0C"));
}

void TestMainView::numbersInTheUsersLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QLocale locale = frmMain().numberLocale();
    QLocale::setDefault(QLocale::c());
    QCOMPARE(logging::intervalMsFromText(QStringLiteral("2,5"), locale), std::optional<int32_t>(2500));
}

void TestMainView::devices()
{
    frmMain w;
    auto *devices = control<QListWidget>(&w, "lstDevices");
    w.appendDeviceLine(QStringLiteral("b device"));
    w.appendDeviceLine(QStringLiteral("a device"));
    QCOMPARE(devices->count(), 2);
    QCOMPARE(devices->item(0)->text(), QStringLiteral("b device"));
    QCOMPARE(devices->item(1)->text(), QStringLiteral("a device"));
    w.clearDevices();
    QCOMPARE(devices->count(), 0);
}

void TestMainView::controlEnabled_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("name");

    QTest::newRow("Text1") << static_cast<int>(Control::Text1) << "Text1";
    QTest::newRow("Text2") << static_cast<int>(Control::Text2) << "Text2";
    QTest::newRow("Text3") << static_cast<int>(Control::Text3) << "Text3";
    QTest::newRow("Text4") << static_cast<int>(Control::Text4) << "Text4";
    QTest::newRow("Text5") << static_cast<int>(Control::Text5) << "Text5";
    QTest::newRow("Check1") << static_cast<int>(Control::Check1) << "Check1";
    QTest::newRow("Combo_res") << static_cast<int>(Control::Combo_res) << "Combo_res";
    QTest::newRow("Command1") << static_cast<int>(Control::Command1) << "Command1";
    QTest::newRow("Command2") << static_cast<int>(Control::Command2) << "Command2";
    QTest::newRow("Command3") << static_cast<int>(Control::Command3) << "Command3";
    QTest::newRow("Command4") << static_cast<int>(Control::Command4) << "Command4";
}

void TestMainView::controlEnabled()
{
    QFETCH(int, which);
    QFETCH(QString, name);
    frmMain w;
    QWidget *target = control(&w, name);
    const QStringList others {"Text1", "Text2", "Text3", "Text4", "Text5", "Check1", "Combo_res", "Command2",
        "Command3", "Command4", "Command1"};
    w.setControlEnabled(Control(which), true);
    QVERIFY(target->isEnabled());
    w.setControlEnabled(Control(which), false);
    QVERIFY(!target->isEnabled());
    for (const QString &other : others) {
        const bool startsEnabled = other != "Command1";
        if (other != name)
            QCOMPARE(control(&w, other)->isEnabled(), startsEnabled);
    }
}

void TestMainView::timer()
{
    frmMain w;
    auto *timer = w.findChild<QTimer *>("Timer1");
    QSignalSpy ticks(&w, &frmMain::timer1Tick);
    w.setTimerInterval(5000);
    QCOMPARE(timer->interval(), 5000);
    QVERIFY(!timer->isActive());
    w.setTimerInterval(1);
    w.setTimerEnabled(true);
    QVERIFY(timer->isActive());
    QVERIFY(ticks.wait(5000));
    w.setTimerEnabled(false);
    QVERIFY(!timer->isActive());
    const auto seen = ticks.count();
    QCoreApplication::processEvents();
    QCOMPARE(ticks.count(), seen);
}

void TestMainView::buttonsSignal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("signal");

    QTest::newRow("Write to sensor") << "Command1" << 1;
    QTest::newRow("STOP") << "Command2" << 2;
    QTest::newRow("START") << "Command3" << 3;
}

void TestMainView::buttonsSignal()
{
    QFETCH(QString, name);
    QFETCH(int, signal);
    frmMain w;
    w.setControlEnabled(Control::Command1, true);
    QSignalSpy one(&w, &frmMain::command1Clicked);
    QSignalSpy two(&w, &frmMain::command2Clicked);
    QSignalSpy three(&w, &frmMain::command3Clicked);
    QTest::mouseClick(control(&w, name), Qt::LeftButton);
    QCOMPARE(one.count(), signal == 1 ? 1 : 0);
    QCOMPARE(two.count(), signal == 2 ? 1 : 0);
    QCOMPARE(three.count(), signal == 3 ? 1 : 0);
}

// The menu must not swallow the click that closes it: the first click on STOP stops.
void TestMainView::stopWhileMenuIsOpen()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.setControlEnabled(Control::Command2, true);
    QSignalSpy stop(&w, &frmMain::command2Clicked);
    QVERIFY(openMenu(control<QListWidget>(&w, "lstTemp")));
    auto *button = control<QPushButton>(&w, "Command2");
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, button->mapTo(&w, button->rect().center()));
    QTRY_COMPARE(stop.count(), 1);
}

void TestMainView::defaultMessageBox()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, &w, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    w.showMessage(QStringLiteral("Wrong sensor number."));
    QCOMPARE(title, QStringLiteral("KX4136 logger"));
    QCOMPARE(text, QStringLiteral("Wrong sensor number."));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestMainView::closing_data()
{
    QTest::addColumn<int>("handler"); // 0 none, 1 answers true, 2 answers false
    QTest::addColumn<bool>("closed");

    QTest::newRow("no handler") << 0 << true;
    QTest::newRow("handler lets it close") << 1 << true;
    QTest::newRow("handler holds it") << 2 << false;
}

void TestMainView::closing()
{
    QFETCH(int, handler);
    QFETCH(bool, closed);
    frmMain w;
    int asked = 0;
    if (handler != 0)
        w.setCloseHandler([&] {
            ++asked;
            return handler == 1;
        });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.close(), closed);
    QCOMPARE(w.isVisible(), !closed);
    QCOMPARE(asked, handler == 0 ? 0 : 1);
}

void TestMainView::heldCloseEndsLater()
{
    frmMain w;
    int asked = 0;
    w.setCloseHandler([&] {
        ++asked;
        return false;
    });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    w.endProgram();
    QVERIFY(!w.isVisible());
    QCOMPARE(asked, 1);
    // The program ends when its last window closes.
    QVERIFY(w.testAttribute(Qt::WA_QuitOnClose));
}

void TestMainView::chartCommands_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("logFile");
    QTest::newRow("double click on lstTemp") << "double click" << false;
    QTest::newRow("Ctrl+G in another control") << "Ctrl+G" << false;
    QTest::newRow("menu: chart") << "Chart\u2026" << false;
    QTest::newRow("menu: log file") << "Open log file in chart\u2026" << true;
}

void TestMainView::chartCommands()
{
    QFETCH(QString, how);
    QFETCH(bool, logFile);
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy chart(&w, &frmMain::chartRequested);
    QSignalSpy log(&w, &frmMain::logChartRequested);
    auto *list = control<QListWidget>(&w, "lstTemp");
    if (how == QLatin1String("double click")) {
        QTest::mouseDClick(list->viewport(), Qt::LeftButton);
    } else if (how == QLatin1String("Ctrl+G")) {
        control<QLineEdit>(&w, "Text5")->setFocus();
        QTest::keyClick(&w, Qt::Key_G, Qt::ControlModifier);
    } else {
        QMenu *menu = openMenu(list);
        QVERIFY(menu);
        const auto actions = menu->actions();
        const auto action = std::find_if(
            actions.begin(), actions.end(), [&](const QAction *a) { return a->text() == how; });
        QVERIFY(action != actions.end());
        (*action)->trigger();
        menu->close();
    }
    QCOMPARE(chart.count(), logFile ? 0 : 1);
    QCOMPARE(log.count(), logFile ? 1 : 0);
}

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
