// The one kind of failure the host reports to its user: a single line saying what went wrong with
// which file or option. Thrown and caught inside the host only; it never crosses the plug-in's
// interfaces.
#pragma once

#include <stdexcept>

namespace gs::host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user interrupted the work (SIGINT or SIGTERM); the job cleans up and the program exits 130.
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

}  // namespace gs::host
