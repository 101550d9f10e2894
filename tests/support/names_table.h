// tests/support: the station names of tests/fixtures/names.txt, each with its kind (utf8, gbk, latin1 or
// cp1252) and the bytes a station would send it in: the yardstick of the encoding rules of server text and of
// the list file.
#pragma once

#include "platform/codepage.h"

#include <QFile>
#include <QStringEncoder>
#include <vector>

namespace support {

struct SentName {
    QByteArray kind, bytes;
    QString text;
};

inline std::vector<SentName> NamesTable() {
    std::vector<SentName> names;
    QFile file(QStringLiteral(CORVANA_FIXTURES_DIR "/names.txt"));
    for (const QByteArray& line : (file.open(QIODevice::ReadOnly) ? file.readAll() : "").split('\n')) {
        const QByteArray kind = line.left(line.indexOf(' '));
        const QString text = QString::fromUtf8(line.mid(kind.size() + 1));
        if (kind == "gbk" || kind == "latin1" || kind == "cp1252" || kind == "utf8")
            names.push_back({kind,
                             kind == "gbk"      ? platform::ToAnsi(text)
                             : kind == "latin1" ? text.toLatin1()
                             : kind == "cp1252" ? QStringEncoder("windows-1252").encode(text)
                                                : text.toUtf8(),
                             text});
    }
    return names;
}

} // namespace support
