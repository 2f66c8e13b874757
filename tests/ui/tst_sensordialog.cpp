// "Name and limits…": lstDevices' menu, the dialog, the sensors file and the signal run control takes.
#include "WidgetLookup.h"
#include "logging/SensorsFile.h"
#include "ui/SensorDialog.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using ui::frmMain;
using ui::SensorDialog;

namespace {

const logging::RomCode Listed {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF};

// "Name and limits…" as the menu opened on a row of lstDevices has it.
QAction *sensorEntry(QListWidget *list, int row)
{
    const QPoint at = row < list->count() ? list->visualItemRect(list->item(row)).center()
                                          : QPoint(5, list->viewport()->height() - 3);
    QContextMenuEvent open(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &open);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QAction *entry = nullptr;
    for (QAction *action : menu ? menu->actions() : QList<QAction *>())
        entry = action->text() == QStringLiteral("Name and limits\u2026") ? action : entry;
    if (menu)
        menu->close();
    return entry;
}

} // namespace

class TestSensorDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void nameAndLimits_data();
    void nameAndLimits();

private:
    QTemporaryDir m_dir;
};

void TestSensorDialog::nameAndLimits_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("typed"); // name, low, high; none: the entry is disabled
    QTest::addColumn<QStringList>("saved"); // name, low, high as the file has them; none: refused
    const QStringList none;
    QTest::newRow("dot") << 1 << "C" << QStringList {"Freezer", "-20.5", "-10"}
                         << QStringList {"Freezer", "-20.5", "-10"};
    QTest::newRow("user's comma") << 1 << "de_DE" << QStringList {" Freezer ", "-20,5", ""}
                                  << QStringList {"Freezer", "-20.5", "none"};
    QTest::newRow("dot beside a comma locale")
        << 1 << "de_DE" << QStringList {"", "1.500", "3"} << QStringList {"", "1.5", "3"};
    QTest::newRow("low above high") << 1 << "C" << QStringList {"x", "5", "1"} << none;
    QTest::newRow("not a number") << 1 << "C" << QStringList {"x", "", "warm"} << none;
    QTest::newRow("count line") << 2 << "C" << none << none;
    QTest::newRow("below the lines") << 9 << "C" << none << none;
}

void TestSensorDialog::nameAndLimits()
{
    QFETCH(int, row);
    QFETCH(QString, locale);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, saved);
    QLocale::setDefault(QLocale(locale));
    const QString path = m_dir.filePath(QStringLiteral("sensors.ini"));
    QVERIFY(logging::writeSensorSettings(path, Listed, {QStringLiteral("Old"), {{}, {}, 2.0}}).isEmpty());
    frmMain w;
    w.setSensorsFile(path);
    for (const char *line : {"Sensor #0 : 28 01 02 03 04 05 06 9E , 9-bit",
             "Sensor #1 : 28 B4 84 D7 0F 4F 4C AF , 12-bit", "2 sensor(s) found."})
        w.appendDeviceLine(QString::fromLatin1(line));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy told(&w, &frmMain::sensorSettingsSaved);
    QAction *entry = sensorEntry(control<QListWidget>(&w, "lstDevices"), row);
    QVERIFY(entry);
    QCOMPARE(entry->isEnabled(), !typed.isEmpty());
    entry->trigger();
    auto *dialog = w.findChild<SensorDialog *>();
    QCOMPARE(dialog != nullptr, !typed.isEmpty());
    if (!dialog)
        return;
    QCOMPARE(control<QLineEdit>(dialog, "nameEdit")->text(), QStringLiteral("Old"));
    for (const char *name : {"nameEdit", "lowEdit", "highEdit"})
        control<QLineEdit>(dialog, QString::fromLatin1(name))->setText(typed.takeFirst());
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    const logging::SensorSettings inFile = logging::readSensorsFile(path).valueOr({})[Listed];
    const auto text
        = [](const std::optional<double> &v) { return v ? QString::number(*v) : QStringLiteral("none"); };
    QCOMPARE(inFile.limits.hysteresis, 2.0);
    QCOMPARE(told.count(), saved.isEmpty() ? 0 : 1);
    if (saved.isEmpty()) {
        QVERIFY(control<QLabel>(dialog, "problem")->isVisible());
        QCOMPARE(inFile.name, QStringLiteral("Old"));
        return;
    }
    QCOMPARE((QStringList {inFile.name, text(inFile.limits.low), text(inFile.limits.high)}), saved);
    QCOMPARE(told.first().at(0).value<logging::RomCode>(), Listed);
    QCOMPARE(told.first().at(1).value<logging::SensorSettings>().name, inFile.name);
}

QTEST_MAIN(TestSensorDialog)
#include "tst_sensordialog.moc"
