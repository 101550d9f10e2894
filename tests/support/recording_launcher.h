// tests/support: a launcher that records what it was asked to start, or fails as a missing program would.
#pragma once

#include "platform/launch.h"

#include <vector>

namespace platform {

class RecordingLauncher : public Launcher {
public:
    struct Call {
        QString commandLine;
        int windowStyle;
    };
    std::vector<Call> calls;
    bool fail = false; // the next launches fail as a missing program would
    double Shell(const QString& commandLine, int windowStyle) override;
};

} // namespace platform
