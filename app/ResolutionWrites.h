// --set-resolution INDEX=BITS: resolutions a run without a window writes once START has listed the sensors.
#pragma once

#include "app/ExitStatus.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace logging {
class MainView;
class RunControl;
} // namespace logging

namespace app {

struct ResolutionWrite
{
    int16_t index = 0;
    int bits = 12;
};

// "INDEX=BITS", INDEX a sensor index (0 to 31) and BITS 9 to 12; none for anything else.
std::optional<ResolutionWrite> parseResolutionWrite(const QString &text);

// Writes each resolution in turn as "Write to sensor" does, and lists with the devices what each came to.
// Failed when one was not written (the run may go on); WrongSetting when one names a sensor START did not
// list, which `view` shows as a message, and then none is written.
ExitStatus writeResolutions(
    logging::RunControl &run, logging::MainView &view, const QList<ResolutionWrite> &writes);

} // namespace app
