// Shared set-up of the run-control tests: simulated time, a fake window, run control and a log file.
#include "RunFixture.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"

#include <QFile>
#include <QLocale>

using namespace logging;

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last line end
    return lines;
}

void RunFixture::setUpRun()
{
    harness = std::make_unique<testsupport::SimulatedTime>();
    view = std::make_unique<FakeMainView>();
    run = std::make_unique<RunControl>(*view);
    run->addListener(*view);
    dir = std::make_unique<QTemporaryDir>();
    logPath = dir->filePath(QStringLiteral("KX4136_log.txt"));
    view->texts[TextField::Text4] = QStringLiteral("800");
    view->texts[TextField::Text5] = logPath;
}

void RunFixture::tearDownRun()
{
    run.reset();
    view.reset();
    harness.reset();
    driver.reset();
    dir.reset();
    QLocale::setDefault(QLocale::c());
}

std::shared_ptr<sim::SimulatedDriver> RunFixture::installSim(sim::SimConfiguration configuration)
{
    driver = std::make_shared<sim::SimulatedDriver>(std::move(configuration));
    if (driver->bus(1))
        driver->bus(1)->attachTranscript(std::make_shared<sim::Transcript>());
    XWBUSLIB::Install(driver);
    return driver;
}

std::shared_ptr<sim::SimulatedDriver> RunFixture::installSim(int sensors)
{
    return installSim(sim::uniformConfiguration(sensors, harness->clock));
}

bool RunFixture::startOnSim(int sensors)
{
    installSim(sensors);
    run->StartRun();
    bus().transcript().clear();
    return run->state() == RunControl::State::Running;
}

std::shared_ptr<testsupport::RecordingDriver> RunFixture::installRecording()
{
    auto recording = std::make_shared<testsupport::RecordingDriver>();
    XWBUSLIB::Install(recording);
    return recording;
}

std::shared_ptr<testsupport::RecordingDriver> RunFixture::startOnRecording(
    int rows, const QList<int> &readSlots)
{
    auto recording = installRecording();
    recording->push(testsupport::Op::First, {1});
    for (int i = 0; i < rows; ++i) {
        recording->romCodes.push_back(
            testsupport::romWithCrc(0x28, {static_cast<uint8_t>(0x10 + i), 2, 3, 4, 5, 6}));
        recording->push(testsupport::Op::Next, {i + 1 < rows ? 1 : 0});
    }
    recording->readBytes.assign(static_cast<std::size_t>(rows) * 9, 0xFF);
    recording->readBytes.insert(recording->readBytes.end(), readSlots.begin(), readSlots.end());
    run->StartRun();
    recording->clearCalls();
    harness->duringWait
        = [raw = recording.get()](int32_t ms) { raw->note(QStringLiteral("wait(%1)").arg(ms)); };
    view->onCall = [raw = recording.get()](const QString &call) { raw->note(call); };
    return recording;
}

std::shared_ptr<testsupport::RecordingDriver> RunFixture::recordingWithRows(int rows)
{
    auto recording = installRecording();
    modKX4136::PortNum = 1;
    modKX4136::PortType = 1;
    modKX4136::StartSession();
    for (int i = 0; i < rows; ++i) {
        const auto rom = testsupport::romWithCrc(0x28, {static_cast<uint8_t>(0x10 + i), 2, 3, 4, 5, 6});
        std::copy(rom.begin(), rom.end(), modKX4136::RomTable[i]);
    }
    modKX4136::LastSensor = static_cast<int16_t>(rows - 1);
    recording->clearCalls();
    view->onCall = [recording](const QString &call) { recording->note(call); };
    return recording;
}
