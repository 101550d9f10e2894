// tests/support: the station names of tests/fixtures/names.txt, each with the bytes a station would send it
// in: the yardstick the encoding rules of server text and of the list file are measured on.
#pragma once

#include "platform/codepage.h"

#include <QFile>
#include <QStringEncoder>
#include <vector>

namespace support {

struct SentName {
    QByteArray kind; // utf8, gbk, latin1 or cp1252
    QString text;
    QByteArray bytes;
};

inline std::vector<SentName> NamesTable() {
    std::vector<SentName> names;
    QFile file(QStringLiteral(CORVANA_FIXTURES_DIR "/names.txt"));
    if (!file.open(QIODevice::ReadOnly)) return names;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (line.startsWith('#') || space < 0) continue;
        SentName name{line.left(space), QString::fromUtf8(line.mid(space + 1)), {}};
        name.bytes = name.kind == "gbk"      ? platform::ToAnsi(name.text)
                     : name.kind == "latin1" ? name.text.toLatin1()
                     : name.kind == "cp1252" ? QStringEncoder("windows-1252").encode(name.text)
                                             : name.text.toUtf8();
        names.push_back(name);
    }
    return names;
}

} // namespace support
