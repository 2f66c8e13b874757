// Tests of the information window: its layout, its modal display over the main window and the ways it closes.
#include "WidgetLookup.h"
#include "ui/frmInfo.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <functional>

using ui::frmInfo;
using ui::frmMain;

namespace {

// What a test saw of the information window while ShowInfo was running.
struct Seen
{
    QPointer<frmInfo> info;
    bool activeAtOpen = false;
    QString focusAtOpen;
    bool openAfterAction = false;
    QStringList lines;
};

frmInfo *openInfo()
{
    return qobject_cast<frmInfo *>(QApplication::activeModalWidget());
}

// Runs ShowInfo on the main window, does the action while the window is open, and closes it if it is still
// open.
Seen showInfo(frmMain &main, const std::function<void(frmInfo *)> &action)
{
    Seen seen;
    QTimer::singleShot(0, &main, [&] {
        seen.info = openInfo();
        if (!seen.info)
            return;
        seen.activeAtOpen = QTest::qWaitFor([&] { return QApplication::activeWindow() == seen.info; });
        seen.focusAtOpen = focusName(QApplication::focusWidget());
        for (int i = 0; i < 13; ++i)
            seen.lines << control<QLabel>(seen.info, "Label1", i)->text();
        action(seen.info);
        seen.openAfterAction = seen.info && seen.info->isVisible();
        if (seen.openAfterAction)
            seen.info->done(0);
    });
    main.ShowInfo();
    return seen;
}

// Widget clicks of the test library skip the window system; a click on the window goes the way a user's does.
void clickThroughWindowSystem(QWidget *widget)
{
    QWidget *window = widget->window();
    const QPoint centre = widget->mapTo(window, widget->rect().center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, centre);
}

} // namespace

class TestFrmInfo : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void lines_data();
    void lines();
    void closeButton();
    void opensModallyFromHelp();
    void closing_data();
    void closing();
    void escapeDoesNotClose();
    void sameContentEachTime();
};

void TestFrmInfo::window()
{
    frmMain main;
    frmInfo info(&main);
    QCOMPARE(info.windowTitle(), QStringLiteral("Info"));
    QCOMPARE(info.size(), QSize(501, 463));
    QCOMPARE(info.minimumSize(), QSize(501, 463));
    QCOMPARE(info.maximumSize(), QSize(501, 463));
    QCOMPARE(info.windowType(), Qt::Dialog);
    const Qt::WindowFlags flags = info.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(info.isModal());
    QCOMPARE(info.parentWidget(), &main);
}

void TestFrmInfo::lines_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("text");

    QTest::newRow("title") << 0 << 24 << "KX4136 logger ver. 1.0";
    QTest::newRow("authorship") << 1 << 64 << QString();
    QTest::newRow("e-mail") << 2 << 88 << QString();
    QTest::newRow("web page") << 3 << 112 << QString();
    QTest::newRow("adapter") << 4 << 152 << "Works with KA7700 1-wire COM port interface.";
    QTest::newRow("drivers") << 5 << 168
                             << "Installation of 1-wire drivers from QUENTRA website may be reqired.";
    QTest::newRow("sensors") << 6 << 192
                             << "Supports KX4130 and KX4136 temperature sensors (up to 32 sensors).";
    QTest::newRow("no others") << 7 << 208 << "No other 1-wire devices shall be connected to the interface.";
    QTest::newRow("START") << 8 << 248
                           << "Click 'START' button to open port, detect all sensors and start logging.";
    QTest::newRow("appended") << 9 << 272 << "If the log file exists, new session will be appended.";
    QTest::newRow("EEPROM") << 10 << 296 << "Resolution change is stored in the sensor's EEPROM.";
    QTest::newRow("delay 1") << 11 << 320
                             << "To adjust '1-wire delay' value check conversion time in the KX4136";
    QTest::newRow("delay 2") << 12 << 336 << "datasheet (table 2 on page 8).";
}

void TestFrmInfo::lines()
{
    QFETCH(int, index);
    QFETCH(int, top);
    QFETCH(QString, text);
    frmMain main;
    frmInfo info(&main);
    auto *label = control<QLabel>(&info, "Label1", index);
    QVERIFY(label);
    const bool title = index == 0;
    QCOMPARE(label->geometry(), QRect(16, top, title ? 465 : 505, 17));
    if (!text.isEmpty())
        QCOMPARE(label->text(), text);
    else
        QVERIFY(!label->text().trimmed().isEmpty());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, title ? Qt::AlignHCenter : Qt::AlignLeft);
    const QFont font = label->font();
    QCOMPARE(font.family(), QStringLiteral("Verdana"));
    QCOMPARE(font.bold(), title);
    // A line is only made smaller when it would not fit inside the window with a margin on the right.
    QVERIFY(font.pointSizeF() <= 9.75);
    QFont designFont = font;
    designFont.setPointSizeF(9.75);
    const int visible = info.width() - 32;
    if (QFontMetrics(designFont).horizontalAdvance(label->text()) <= visible) {
        QCOMPARE(font.pointSizeF(), 9.75);
        QCOMPARE(font.stretch(), static_cast<int>(QFont::Unstretched));
    } else {
        QVERIFY(QFontMetrics(font).horizontalAdvance(label->text()) <= visible);
    }
}

void TestFrmInfo::closeButton()
{
    frmMain main;
    frmInfo info(&main);
    auto *close = control<QPushButton>(&info, "Command1");
    QVERIFY(close);
    QCOMPARE(close->text(), QStringLiteral("Close"));
    QCOMPARE(close->geometry(), QRect(200, 424, 105, 33));
    QCOMPARE(close->font(), info.font());
    int focusable = 0;
    for (QWidget *child : info.findChildren<QWidget *>())
        focusable += child->focusPolicy() != Qt::NoFocus ? 1 : 0;
    QCOMPARE(focusable, 1);
}

void TestFrmInfo::opensModallyFromHelp()
{
    frmMain main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QSignalSpy stop(&main, &frmMain::command2Clicked);
    bool mainBlocked = false;
    QTimer::singleShot(0, &main, [&] {
        frmInfo *info = openInfo();
        if (!info)
            return;
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == info; }));
        mainBlocked = QApplication::activeModalWidget() == info && info->parentWidget() == &main
            && info->windowHandle()->transientParent() == main.windowHandle();
        // A click on the main window does not get through while the information window is open.
        clickThroughWindowSystem(control(&main, "Command2"));
        info->done(0);
    });
    QTest::mouseClick(control(&main, "Command4"), Qt::LeftButton);
    QVERIFY(mainBlocked);
    QCOMPARE(stop.count(), 0);
    clickThroughWindowSystem(control(&main, "Command2"));
    QCOMPARE(stop.count(), 1);
}

void TestFrmInfo::closing_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("Close clicked") << "click";
    QTest::newRow("title bar close") << "title bar";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("keypad Enter") << "keypad enter";
    QTest::newRow("Space") << "space";
}

void TestFrmInfo::closing()
{
    QFETCH(QString, how);
    frmMain main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const Seen seen = showInfo(main, [&](frmInfo *info) {
        QWidget *focused = QApplication::focusWidget();
        if (how == "click")
            QTest::mouseClick(control(info, "Command1"), Qt::LeftButton);
        else if (how == "title bar")
            info->windowHandle()->close();
        else if (how == "enter")
            QTest::keyClick(focused, Qt::Key_Return);
        else if (how == "keypad enter")
            QTest::keyClick(focused, Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == "space")
            QTest::keyClick(focused, Qt::Key_Space);
    });
    QVERIFY(seen.activeAtOpen);
    QCOMPARE(seen.focusAtOpen, QStringLiteral("Command1"));
    QVERIFY(!seen.openAfterAction);
    // Closed means destroyed: the next display starts from nothing.
    QVERIFY(seen.info.isNull());
    QVERIFY(main.findChildren<frmInfo *>().isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestFrmInfo::escapeDoesNotClose()
{
    frmMain main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const Seen seen
        = showInfo(main, [](frmInfo *) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); });
    QVERIFY(seen.activeAtOpen);
    QVERIFY(seen.openAfterAction);
}

void TestFrmInfo::sameContentEachTime()
{
    frmMain main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const Seen first = showInfo(
        main, [](frmInfo *info) { info->CloseInfo(); });
    const Seen second = showInfo(main, [](frmInfo *info) { info->CloseInfo(); });
    QCOMPARE(first.lines.size(), 13);
    QCOMPARE(second.lines, first.lines);
    QCOMPARE(second.focusAtOpen, QStringLiteral("Command1"));
    QVERIFY(first.info.isNull());
    QVERIFY(second.info.isNull());
}

QTEST_MAIN(TestFrmInfo)
#include "tst_frminfo.moc"
