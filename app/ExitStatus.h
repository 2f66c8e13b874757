// The program's exit statuses, shared by the console run and the steps it takes.
#pragma once

namespace app {

// Ended: all went well. Failed: something was not done (a write, a kept line, the start). WrongSetting: a
// setting was refused before anything was done.
enum ExitStatus { Ended = 0, Failed = 1, WrongSetting = 2 };

} // namespace app
