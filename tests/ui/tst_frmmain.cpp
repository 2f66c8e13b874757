// Tests of the main window's layout: start state, geometry, fonts, focus order and the resize rule.
#include "WidgetLookup.h"
#include "ui/LampShape.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QTimer>
#include <QtTest>

using ui::frmMain;
using ui::LampShape;

using SizeList = QList<QSize>;

class TestFrmMain : public QObject
{
    Q_OBJECT

private slots:
    void window();
    void startText_data();
    void startText();
    void startOtherControls();
    void geometry();
    void fonts_data();
    void fonts();
    void captionsFit_data();
    void captionsFit();
    void tabOrder_data();
    void tabOrder();
    void focusAtStart();
    void fitReadingList_data();
    void fitReadingList();
    void fitByRealResize_data();
    void fitByRealResize();
    void minimizeAndRestore();
};

void TestFrmMain::window()
{
    frmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("KX4136 logger"));
    QCOMPARE(w.size(), QSize(423, 512));
    QVERIFY(w.isWindow());
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(w.minimumSize() != w.maximumSize());
    QVERIFY(w.findChildren<QMenuBar *>().isEmpty());
}

void TestFrmMain::startText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("Label1") << "Label1" << -1 << "COM port:" << true;
    QTest::newRow("Text2") << "Text2" << -1 << "1" << true;
    QTest::newRow("Label2(0)") << "Label2" << 0 << "Reading interval [s]:" << true;
    QTest::newRow("Text3") << "Text3" << -1 << "5" << true;
    QTest::newRow("Label2(1)") << "Label2" << 1 << "1-wire delay [ms]:" << true;
    QTest::newRow("Text4") << "Text4" << -1 << "500" << true;
    QTest::newRow("Command3") << "Command3" << -1 << "START" << true;
    QTest::newRow("Command2") << "Command2" << -1 << "STOP" << true;
    QTest::newRow("Label3") << "Label3" << -1 << "Sensor #:" << true;
    QTest::newRow("Label4") << "Label4" << -1 << "Resolution:" << true;
    QTest::newRow("Text1") << "Text1" << -1 << "0" << true;
    QTest::newRow("Command1") << "Command1" << -1 << "Write to sensor" << false;
    QTest::newRow("Label5") << "Label5" << -1 << "clock" << true;
    QTest::newRow("Command4") << "Command4" << -1 << "Help" << true;
    QTest::newRow("Check1") << "Check1" << -1 << "Save to log file:" << true;
}

void TestFrmMain::startText()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    frmMain w;
    QWidget *widget = control(&w, name, index);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(widget->isEnabled(), enabled);
}

void TestFrmMain::startOtherControls()
{
    frmMain w;
    auto *check = control<QCheckBox>(&w, "Check1");
    QVERIFY(check->isChecked());
    QCOMPARE(check->layoutDirection(), Qt::LeftToRight);

    auto *combo = control<QComboBox>(&w, "Combo_res");
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->currentText(), QString());
    const QStringList items {QString::fromUtf8("9-bit (0.5 \xC2\xB0"
                                               "C)"),
        QString::fromUtf8("10-bit (0.25 \xC2\xB0"
                          "C)"),
        QString::fromUtf8("11-bit (0.125 \xC2\xB0"
                          "C)"),
        QString::fromUtf8("12-bit (0.0625 \xC2\xB0"
                          "C)")};
    QCOMPARE(combo->count(), items.size());
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(combo->itemText(i), items[i]);

    for (const char *name : {"lstDevices", "lstTemp"}) {
        auto *list = control<QListWidget>(&w, name);
        QCOMPARE(list->count(), 0);
        QVERIFY(!list->isSortingEnabled());
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    }
    for (const char *name : {"Text1", "Text2", "Text3", "Text4"})
        QVERIFY(control<QLineEdit>(&w, name)->alignment().testFlag(Qt::AlignRight));
    QVERIFY(!control<QLineEdit>(&w, "Text5")->alignment().testFlag(Qt::AlignRight));
#ifdef Q_OS_WIN
    QCOMPARE(w.text(logging::TextField::Text5), QStringLiteral("c:\\KX4136_log.txt"));
#else
    QCOMPARE(w.text(logging::TextField::Text5), QDir::homePath() + "/KX4136_log.txt");
#endif

    QCOMPARE(control<LampShape>(&w, "Shape1")->fillColour(), 65280);
    auto *timer = w.findChild<QTimer *>("Timer1");
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 100);
}

void TestFrmMain::geometry()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // What the layout's figures are for: every control visible and whole inside its parent, none over
    // another (a caption may touch its field by a pixel), and both lists across the window's width under the
    // settings.
    QList<QWidget *> controls;
    for (QWidget *widget : w.findChildren<QWidget *>()) {
        const QString parent = widget->parentWidget()->objectName();
        if (!widget->objectName().startsWith(QLatin1String("qt_"))
            && (parent == "frmMain" || parent == "Frame1" || parent == "Frame2"))
            controls << widget;
    }
    QCOMPARE(controls.size(), 22);
    for (QWidget *a : std::as_const(controls)) {
        QVERIFY2(a->isVisible(), qPrintable(a->objectName()));
        QVERIFY2(a->parentWidget()->rect().contains(a->geometry()), qPrintable(a->objectName()));
        for (QWidget *b : std::as_const(controls))
            QVERIFY2(a == b || a->parentWidget() != b->parentWidget()
                    || !a->geometry().adjusted(0, 0, -1, -1).intersects(b->geometry().adjusted(0, 0, -1, -1)),
                qPrintable(a->objectName() + " over " + b->objectName()));
    }
    const QRect devices = control(&w, "lstDevices")->geometry();
    QCOMPARE(devices.width(), w.width() - 14);
    QVERIFY(devices.top() > control(&w, "Text5")->geometry().bottom());
    QCOMPARE(control(&w, "lstTemp")->geometry().top(), devices.bottom() + 7);
}

void TestFrmMain::fonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("face");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("fixedPitch");

    QTest::newRow("START bold") << "Command3"
                                << "MS Sans Serif" << 8.25 << true << false;
    QTest::newRow("STOP bold") << "Command2"
                               << "MS Sans Serif" << 8.25 << true << false;
    QTest::newRow("device list") << "lstDevices"
                                 << "Courier New" << 8.25 << false << true;
    QTest::newRow("reading list") << "lstTemp"
                                  << "Courier New" << 14.25 << true << true;
}

void TestFrmMain::fonts()
{
    QFETCH(QString, name);
    QFETCH(QString, face);
    QFETCH(qreal, points);
    QFETCH(bool, bold);
    QFETCH(bool, fixedPitch);
    frmMain w;
    const QFont font = control(&w, name)->font();
    QCOMPARE(font.family(), face);
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.bold(), bold);
    if (fixedPitch) {
        QCOMPARE(font.styleHint(), QFont::TypeWriter);
        // Whatever face stands in for the missing one must still give every character the same width.
        const QFontMetrics metrics(font);
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("iiii")),
            metrics.horizontalAdvance(QStringLiteral("WWWW")));
    }
    // The other controls keep the window's own font.
    for (const char *other : {"Label1", "Text2", "Command1", "Command4", "Check1", "Text5", "Label5"})
        QCOMPARE(control(&w, other)->font(), w.font());
}

void TestFrmMain::captionsFit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");

    QTest::newRow("Label1") << "Label1" << -1;
    QTest::newRow("Label2(0)") << "Label2" << 0;
    QTest::newRow("Label2(1)") << "Label2" << 1;
    QTest::newRow("Label3") << "Label3" << -1;
    QTest::newRow("Label4") << "Label4" << -1;
    QTest::newRow("Label5") << "Label5" << -1;
    QTest::newRow("Check1") << "Check1" << -1;
    QTest::newRow("Command1") << "Command1" << -1;
    QTest::newRow("Command2") << "Command2" << -1;
    QTest::newRow("Command3") << "Command3" << -1;
    QTest::newRow("Command4") << "Command4" << -1;
}

void TestFrmMain::captionsFit()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    frmMain w;
    QWidget *widget = control(&w, name, index);
    // Whatever face the system puts in for the named one, no caption may be cut off.
    const QString text = widget->property("text").toString();
    const int textWidth = QFontMetrics(widget->font()).horizontalAdvance(text);
    if (qobject_cast<QLabel *>(widget))
        QVERIFY2(textWidth <= widget->width(), qPrintable(QString::number(textWidth)));
    else
        QVERIFY2(widget->sizeHint().width() <= widget->width() || textWidth + 4 <= widget->width(),
            qPrintable(QString::number(textWidth)));
}

void TestFrmMain::tabOrder_data()
{
    QTest::addColumn<bool>("command1Enabled");
    QTest::addColumn<QStringList>("order");

    const QStringList all {"lstDevices", "lstTemp", "Command1", "Text1", "Combo_res", "Text2", "Command2",
        "Command3", "Text3", "Text4", "Text5", "Check1", "Command4"};
    QStringList atStart = all;
    atStart.removeAll("Command1");
    QTest::newRow("at start: disabled Write to sensor skipped") << false << atStart;
    QTest::newRow("Write to sensor enabled") << true << all;
}

void TestFrmMain::tabOrder()
{
    QFETCH(bool, command1Enabled);
    QFETCH(QStringList, order);
    frmMain w;
    w.setControlEnabled(logging::Control::Command1, command1Enabled);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList seen {focusName(QApplication::focusWidget())};
    for (int i = 1; i < order.size() + 1; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << focusName(QApplication::focusWidget());
    }
    // One more Tab wraps round to the first control.
    QCOMPARE(seen, order + QStringList {order.first()});
}

void TestFrmMain::focusAtStart()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(focusName(QApplication::focusWidget()), QStringLiteral("lstDevices"));
}

void TestFrmMain::fitReadingList_data()
{
    QTest::addColumn<SizeList>("clientSizes");
    QTest::addColumn<SizeList>("listSizes");

    QTest::newRow("design size") << SizeList {{423, 512}} << SizeList {{409, 202}};
    QTest::newRow("larger") << SizeList {{500, 700}} << SizeList {{486, 390}};
    QTest::newRow("10 wide: nothing changes")
        << SizeList {{500, 700}, {10, 900}} << SizeList {{486, 390}, {486, 390}};
    QTest::newRow("too low: width only")
        << SizeList {{500, 700}, {300, 200}} << SizeList {{486, 390}, {286, 390}};
    QTest::newRow("minimize and restore")
        << SizeList {{500, 700}, {0, 0}, {450, 600}} << SizeList {{486, 390}, {486, 390}, {436, 290}};
    QTest::newRow("exactly 14 x 310") << SizeList {{14, 310}} << SizeList {{0, 0}};
    QTest::newRow("13 x 310: one short") << SizeList {{13, 310}} << SizeList {{409, 202}};
    QTest::newRow("14 x 309: width only") << SizeList {{14, 309}} << SizeList {{0, 202}};
}

void TestFrmMain::fitReadingList()
{
    QFETCH(SizeList, clientSizes);
    QFETCH(SizeList, listSizes);
    frmMain w;
    auto *list = control(&w, "lstTemp");
    const QRect devices = control(&w, "lstDevices")->geometry();
    for (int i = 0; i < clientSizes.size(); ++i) {
        w.resize(clientSizes[i]);
        w.FitReadingList();
        QCOMPARE(list->size(), listSizes[i]);
        QCOMPARE(list->pos(), QPoint(8, 304));
    }
    QCOMPARE(control(&w, "lstDevices")->geometry(), devices);
}

void TestFrmMain::fitByRealResize_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QSize>("list");

    QTest::newRow("larger") << QSize(500, 700) << QSize(486, 390);
    QTest::newRow("wider only") << QSize(600, 512) << QSize(586, 202);
    QTest::newRow("too low: width only") << QSize(300, 200) << QSize(286, 202);
}

void TestFrmMain::fitByRealResize()
{
    QFETCH(QSize, client);
    QFETCH(QSize, list);
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(client);
    QTRY_COMPARE(w.size(), client);
    QTRY_COMPARE(control(&w, "lstTemp")->size(), list);
}

void TestFrmMain::minimizeAndRestore()
{
    frmMain w;
    w.resize(500, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *list = control(&w, "lstTemp");
    QCOMPARE(list->size(), QSize(486, 390)); // fitted at the first display
    w.showMinimized();
    QCoreApplication::processEvents();
    QCOMPARE(list->size(), QSize(486, 390));
    w.showNormal();
    QTRY_COMPARE(list->size(), QSize(w.width() - 14, w.height() - 310));
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
