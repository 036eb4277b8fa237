// SIGINT and SIGTERM end a run early and cleanly: the handler only raises a flag that the run
// polls between communication steps, so the run stops at a step boundary, keeps what it has
// written and removes its temporary folders. A second signal ends the process at once. SIGPIPE
// is ignored: a closed standard output fails the write, and the run ends as an error.
#pragma once

#include <csignal>

namespace master::cli {

inline constexpr int interruptedExitCode = 130;

// `flag` gets the number of the signal.
void installStopSignals(volatile std::sig_atomic_t* flag);


}  // namespace master::cli
