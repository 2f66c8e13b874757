// Tests of the alarm command: the environment it sees, its time limit and its failures.
#include "app/AlarmCommand.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace app;

using logging::AlarmChange;
using logging::AlarmState;

namespace {

// A change as the run's cycle tells it; the ROM code is the demo bus's cellar sensor.
AlarmChange change(AlarmState state, std::optional<float> celsius, std::optional<double> limit, QString name)
{
    return {.rom = {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF},
        .name = std::move(name),
        .state = state,
        .celsius = celsius,
        .limit = limit,
        .when = QDateTime(QDate(2024, 1, 15), QTime(18, 23, 42), Qt::OffsetFromUTC, 3600)};
}

logging::CycleRecord cycleWith(const AlarmChange &c)
{
    logging::CycleRecord cycle;
    cycle.alarmChanges = {c};
    return cycle;
}

} // namespace

class TestAlarmCommand : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
#ifndef Q_OS_UNIX
        QSKIP("The commands here are POSIX shell commands.");
#endif
    }

    void environment_data()
    {
        QTest::addColumn<AlarmChange>("change");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("high, with a name")
            << change(AlarmState::High, -17.5F, -18.0, "Freezer")
            << QStringList {"KX4136_LIMIT=-18", "KX4136_NAME=Freezer", "KX4136_READING=-17.5",
                   "KX4136_ROM=28B484D70F4F4CAF", "KX4136_STATE=high",
                   "KX4136_TIME=2024-01-15T18:23:42+01:00"};
        QTest::newRow("not answering, no name")
            << change(AlarmState::NotAnswering, std::nullopt, std::nullopt, QString())
            << QStringList {"KX4136_LIMIT=", "KX4136_NAME=", "KX4136_READING=", "KX4136_ROM=28B484D70F4F4CAF",
                   "KX4136_STATE=not answering", "KX4136_TIME=2024-01-15T18:23:42+01:00"};
    }

    void environment()
    {
        QFETCH(AlarmChange, change);
        QFETCH(QStringList, seen);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("seen env"));
        QStringList lines;
        AlarmCommand command(
            QStringLiteral("sh -c 'env | grep ^KX4136_ | sort > \"$0.part\" && mv \"$0.part\" \"$0\"' '%1'")
                .arg(out),
            [&lines](const QString &line) { lines << line; });
        command.cycleEnded(cycleWith(change));
        QFile file(out);
        QTRY_VERIFY_WITH_TIMEOUT(file.exists(), 10000);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts), seen);
        QCOMPARE(lines, QStringList());
    }

    void oneLinePerFailure_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("line");
        QTest::newRow("cannot start") << "/nonexistent/notify"
                                      << "The alarm command for Freezer (high) could not be started: ";
        QTest::newRow("non-zero exit") << "sh -c 'exit 3'"
                                       << "The alarm command for Freezer (high) ended with exit status 3.";
        QTest::newRow("past its time limit")
            << "sleep 60"
            << "The alarm command for Freezer (high) was killed after 0.2 s.";
    }

    void oneLinePerFailure()
    {
        QFETCH(QString, command);
        QFETCH(QString, line);
        QStringList lines;
        AlarmCommand alarm(
            command, [&lines](const QString &told) { lines << told; }, std::chrono::milliseconds(200));
        alarm.cycleEnded(cycleWith(change(AlarmState::High, 3.5F, 0.0, "Freezer")));
        alarm.finish();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(line), qPrintable(lines.first()));
    }
};

QTEST_GUILESS_MAIN(TestAlarmCommand)
#include "tst_alarmcommand.moc"
