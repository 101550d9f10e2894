// platform/: code page 936, the list file's encoding (unless the file is UTF-8: stations/list_file.h).
//
// Code page 936 exactly as Windows has it for one- and two-byte sequences, GB18030 for its four-byte
// sequences and for every character code page 936 cannot hold. Bytes that are valid in neither are not lost:
// each is carried as an escape character (U+DC00 + the byte, a lone low surrogate) and written back as the
// same byte, so a load followed by a save reproduces the file byte for byte.
//
// Text that no bytes stand for (an unpaired surrogate that is not such an escape, or one of the few
// characters GB18030 spells with two bytes that code page 936 reads as something else) is written as '?', as
// Windows does. Both functions are safe to call from any thread; the first call builds the tables, in about a
// millisecond.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

QString FromAnsi(QByteArrayView bytes);
QByteArray ToAnsi(QStringView text);

} // namespace platform
