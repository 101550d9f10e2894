// tests/fuzz: what must hold for any bytes given to the list file's loader and save format. Shared by the
// libFuzzer target and by the unit test that replays every input the fuzzer ever found.
#pragma once

#include "platform/codepage.h"
#include "stations/list_file.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void Fail(const char* what) {
    std::fprintf(stderr, "list file property broken: %s\n", what);
    std::abort();
}

// 1. Decoding then encoding gives back every byte.
// 2. No station's name is empty or holds "|", and no field holds a line end.
// 3. An unchanged save writes the named stations and the unread lines, each ending in CR LF (but for a UTF-16
//    file's odd last byte), and reading that gives back the same stations, the same unread lines and the
//    same encoding; a second save writes the same bytes as the first.
inline void CheckListFileProperties(const QByteArray& bytes) {
    const QString text = platform::FromAnsi(bytes);
    if (platform::ToAnsi(text) != bytes) Fail("decode + encode changed the bytes");

    const stations::ParsedListFile loaded = stations::ParseListFile(bytes);
    for (const stations::Station& s : loaded.stations) {
        if (s.name.isEmpty() || s.name.contains(u'|')) Fail("a name is empty or holds the separator");
        for (const QString& field : {s.name, s.address})
            if (field.contains(u'\r') || field.contains(u'\n')) Fail("a field holds a line end");
    }

    qsizetype lines = -1;
    const QByteArray saved = stations::ListFileBytes(loaded.stations, loaded.format, &lines);
    if (lines != static_cast<qsizetype>(loaded.stations.size()))
        Fail("the save wrote a different number of lines");
    // In UTF-16, CR LF is two units, and an odd byte at the file's end (half a unit) stays last.
    const stations::ListEncoding encoding = loaded.format.encoding;
    const bool utf16 =
        encoding == stations::ListEncoding::Utf16Le || encoding == stations::ListEncoding::Utf16Be;
    const QByteArray lineEnd = !utf16                                        ? "\r\n"
                               : encoding == stations::ListEncoding::Utf16Le ? QByteArray("\r\0\n\0", 4)
                                                                             : QByteArray("\0\r\0\n", 4);
    if (!saved.isEmpty() && !saved.endsWith(lineEnd) && !(utf16 && saved.size() % 2))
        Fail("the save's last line has no line end");

    const stations::ParsedListFile again = stations::ParseListFile(saved);
    // Nothing to save is no file, which a later save starts afresh in code page 936.
    if (!saved.isEmpty() && again.format.encoding != loaded.format.encoding)
        Fail("a save + load changed the encoding");
    if (again.format.unreadLines != loaded.format.unreadLines) Fail("a save + load changed the unread lines");
    if (again.stations.size() != loaded.stations.size()) Fail("a save + load lost or gained entries");
    for (size_t i = 0; i < again.stations.size(); ++i)
        if (again.stations[i].name != loaded.stations[i].name ||
            again.stations[i].address != loaded.stations[i].address)
            Fail("a save + load changed an entry");
    if (stations::ListFileBytes(again.stations, again.format) != saved)
        Fail("a second save wrote other bytes");
}

} // namespace fuzz
