// tests/support: the recording launcher.
#include "support/recording_launcher.h"

#include "platform/error.h"

namespace platform {

double RecordingLauncher::Shell(const QString& commandLine, int windowStyle) {
    if (fail) throw RuntimeError(errFileNotFound, QStringLiteral("无法启动: %1").arg(commandLine));
    calls.push_back({commandLine, windowStyle});
    return static_cast<double>(calls.size());
}

} // namespace platform
