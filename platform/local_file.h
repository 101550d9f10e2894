// platform/: reads a local file someone handed the program (a dropped or pasted playlist, a playlist path typed
// as a station) without ever blocking on what is not a file: the name is opened without waiting
// (O_NONBLOCK) and only then looked at, through the opened descriptor. Checking the name first and opening it
// after would let a pipe put in its place between the two hold the window for good.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

struct LocalFile {
    enum Outcome {
        Read,       // bytes holds the whole file
        Missing,    // no such file
        Folder,     // a folder of that name
        NotRegular, // a device, a pipe, a socket
        TooLarge,   // longer than the bound
        Unreadable, // could not be opened or read; error says why
    };
    Outcome outcome = Missing;
    QByteArray bytes;
    QString error; // the system's words for an Unreadable file
};

// The whole file at path, if it is a regular file of at most maxBytes.
LocalFile ReadLocalFile(const QString& path, qint64 maxBytes);

} // namespace platform
