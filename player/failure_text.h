// player/: the words the strip shows for a station that failed, from what the engine reported about it.
#pragma once

#include "player/mpv_engine.h"

#include <QString>
#include <QStringList>

namespace player {

struct EngineReport {
    EndOfFile end;        // how the last entry ended: reason and error
    QStringList log;      // the engine's warnings about that entry, "prefix: text" each
    bool local = false;   // a file on this machine rather than a server
    bool aborted = false; // the session stopped the engine itself (a server that hangs up again and again)
};

QString FailureText(const EngineReport& report);

} // namespace player
