#pragma once

#include <chrono>

// What the PulseAudio server that this process would reach (PULSE_SERVER, else the user's
// runtime directory) says about itself.
enum class PulseServerState {
    Absent, // no server to connect to (or the client library is refused by it)
    Silent, // the connection was taken but no answer came in time (a stopped server)
    NoSink, // it answers and has no default sink
    Ready   // it answers and has a default sink
};

// Asks the server over a connection of its own, waiting at most wait; never starts a server.
// Any thread; needs no lock. SDL's PulseAudio back end is neither started nor asked for a
// device unless this says Ready: it dereferences a missing default sink's name, and it waits
// without a limit for a server that has stopped answering.
PulseServerState ProbePulseServer(std::chrono::milliseconds wait);
