// The start procedure and the exit steps of the window program.
#pragma once

namespace app {

// Sets the title, runs the single-instance check (a second copy returns here at once), makes
// and shows the main window and runs the message loop until it is gone.
void MAIN();

// After MAIN: ends the application object, closes every open table and gives the process's
// exit code (0, or 1 once an error was shown).
int exitSteps();

}  // namespace app
