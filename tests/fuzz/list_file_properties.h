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
// 2. The entries read from the bytes, saved and read again, are the same named entries, in order.
// 3. A save writes exactly the named entries' lines, each ending in CR LF, and nothing else.
inline void CheckListFileProperties(const QByteArray& bytes) {
    const QString text = platform::FromAnsi(bytes);
    if (platform::ToAnsi(text) != bytes) Fail("decode + encode changed the bytes");

    const std::vector<stations::Station> loaded = stations::ParseListText(text);
    std::vector<stations::Station> named;
    for (const stations::Station& s : loaded) {
        if (s.name.contains(u'|') || s.address.contains(u'|') || s.name.contains(QStringLiteral("\r\n")) ||
            s.address.contains(QStringLiteral("\r\n")))
            Fail("a field holds a separator");
        if (!s.name.isEmpty()) named.push_back(s);
    }

    qsizetype lines = -1;
    const QByteArray saved = stations::ListFileBytes(loaded, &lines);
    if (lines != static_cast<qsizetype>(named.size())) Fail("the save wrote a different number of lines");
    if (!saved.isEmpty() && !saved.endsWith("\r\n")) Fail("the save's last line has no line end");

    const std::vector<stations::Station> again = stations::ParseListText(platform::FromAnsi(saved));
    if (again.size() != named.size()) Fail("a save + load lost or gained entries");
    for (size_t i = 0; i < again.size(); ++i)
        if (again[i].name != named[i].name || again[i].address != named[i].address)
            Fail("a save + load changed an entry");
}

} // namespace fuzz
