// Background threads below the ones the user waits for.
#pragma once

namespace threadprio {

// Raises the calling thread's nice value by `steps` (at most to 19), so that
// on a busy machine it yields to the threads of the commands and the window.
// On Linux a thread's nice value is its own; elsewhere this does nothing.
void LowerThisThread(int steps);

}  // namespace threadprio
