// The FMI call trace (--fmi-log): once a loaded unit's library is traced, every call the master
// makes through it is written to the log as one line with the instance, the function, its
// arguments (value references with their values) and the status it returned. The trace sits
// between the master and the unit's function pointers, so it sees every call whatever part of
// the master makes it, and costs nothing when it is off.
#pragma once

namespace master {
class FmuLibrary;
}

namespace master::cli {

// Replaces the library's function pointers by tracing ones that call the originals. Call it
// right after loading, before any instance exists. Throws MasterError beyond 64 libraries.
void traceCalls(FmuLibrary& library);

}  // namespace master::cli
