// platform/: the program's one error type and the single place where it is caught.
//
// The platform layers (files, dialogs, launch, the player engine) throw RuntimeError; every event handler
// runs its body through Guarded(), which turns an escaped error into the error report (a message box with the
// number and the message). Qt forbids exceptions escaping slots or event handlers, so nothing else may let
// one out.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <string>

namespace platform {

// The numbers users of the program's ancestors know from its error reports.
enum ErrorNumber : int {
    errInvalidCall = 5,       // an argument or call the layer cannot honour
    errOverflow = 6,          // arithmetic outside the range of its type
    errOutOfMemory = 7,       // the list file is larger than memory allows
    errFileNotFound = 53,     // the file is gone
    errDiskFull = 61,         // no space left while writing
    errPermissionDenied = 70, // the file or its folder refuses the change
    errPathFileAccess = 75,   // any other failure to open, read, write or replace a file
    errPathNotFound = 76,     // a folder on the path does not exist
    errCantStart = 432,       // a program or document could not be started
    errObjectFailed = 440,    // a component (player, tray) refused a request
};

class RuntimeError : public std::exception {
public:
    RuntimeError(int number, QString message);
    int number() const noexcept { return m_number; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_message;
    std::string m_what;
};

// Throws the error that fits errno (ENOSPC becomes "disk full", EACCES "permission denied" ...), naming the
// file.
[[noreturn]] void ThrowFileError(int errnoValue, const QString& path);

// The text the report shows for an error: number and message.
QString ErrorReportText(const RuntimeError& e);

// Shows the error report through the message box layer (style 16, critical + OK).
void ReportError(const RuntimeError& e);

// Runs body; a RuntimeError (or any other exception) that escapes it is reported, and false is returned.
// The steps body made before the failure stay done; none after it runs.
bool Guarded(const std::function<void()>& body);

} // namespace platform
