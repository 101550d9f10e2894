// readers/: text that servers and playlists send (stream names, titles, entries), in whatever encoding the
// station's tools wrote it, read into Unicode without losing what can be read.
#pragma once

#include <QByteArray>
#include <QString>

namespace readers {

// Text from a server or a playlist (stream names, titles, entries): UTF-8 when it is valid UTF-8; otherwise
// GB18030, the code page Chinese stations and their Windows tools wrote, when the bytes read as Chinese
// (tests/fixtures/names.txt measures how often each kind is misread); otherwise Windows-1252, which reads
// every byte, the five it leaves undefined as the control characters of ISO 8859-1 they stand for there.
QString DecodeServerText(const QByteArray& bytes);

} // namespace readers
