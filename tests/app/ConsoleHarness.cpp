// Runs of the console and of the window on the simulated bus with simulated time, for the console tests.
#include "ConsoleHarness.h"

#include "app/ConsoleRun.h"
#include "ui/frmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace app;

// The same local time for every run, one second further at each reading.
const QDateTime FirstReading(QDate(2024, 1, 15), QTime(18, 23, 42));

std::shared_ptr<sim::SimulatedDriver> simulatedDriver(Bus bus, const ManualTime &time)
{
    sim::SimConfiguration configuration {time.clock, {}};
    if (bus == Bus::Demo)
        configuration = sim::demoConfiguration(time.clock);
    configuration.addPort(1).bus->attachTranscript(std::make_shared<sim::Transcript>());
    return std::make_shared<sim::SimulatedDriver>(std::move(configuration));
}

Printed runConsole(const ConsoleSettings &settings, int cycles, const QString &pendingFolder,
    const std::function<void(ConsoleRun &)> &configure)
{
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    Printed printed;
    {
        ConsoleRun run(settings, cycles, out, err, pendingFolder);
        run.runControl().setClock(ManualTime::steppingLocalTime(FirstReading));
        if (configure)
            configure(run);
        printed.status = run.exec();
    }
    printed.out = outText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    printed.err = errText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return printed;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> logLines(const QString &path)
{
    QList<QByteArray> lines = fileBytes(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        line.chop(1); // the CR
    return lines;
}

WindowRun runWindow(const ConsoleSettings &settings, int cycles)
{
    ui::frmMain window;
    window.findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(settings.port);
    window.findChild<QLineEdit *>(QStringLiteral("Text3"))->setText(settings.interval);
    window.findChild<QLineEdit *>(QStringLiteral("Text4"))->setText(settings.delay);
    window.findChild<QLineEdit *>(QStringLiteral("Text5"))->setText(settings.logPath);
    logging::RunControl runControl(window);
    runControl.addListener(window);
    runControl.setClock(ManualTime::steppingLocalTime(FirstReading));
    int done = 0;
    QObject::connect(&window, &ui::frmMain::timer1Tick, [&] {
        if (runControl.busy())
            return;
        runControl.ReadingCycle();
        if (++done == cycles)
            runControl.StopRun();
    });
    runControl.StartRun();
    [&] { QTRY_COMPARE_WITH_TIMEOUT(done, cycles, 20000); }();

    const auto items = [&window](const char *name) {
        QStringList lines;
        const auto *list = window.findChild<QListWidget *>(QLatin1String(name));
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
        return lines;
    };
    return {
        items("lstDevices"), window.findChild<QLabel *>(QStringLiteral("Label5"))->text(), items("lstTemp")};
}

ConsoleSettings settingsIn(const QTemporaryDir &dir, const QString &file)
{
    // A 1 ms interval: the simulated time does not depend on how often the real timer fires.
    return {QStringLiteral("1"), QStringLiteral("0.001"), QStringLiteral("500"), dir.filePath(file), true};
}
