// player/: what a stream says about itself, in the words the strip shows: the now-playing title and the
// station's own name, from the engine's tags as the server sent them.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace player {

struct StreamTitles {
    QString title;       // the ICY title or the stream's title tag; empty when it has none
    QString stationName; // what the server calls the station, or the title its playlist entry gave it
};

// mediaTitle and filename are the engine's media title and the entry's file name: a media title that is only
// the file name says nothing of the station.
StreamTitles TitlesFromTags(const QMap<QByteArray, QByteArray>& tags, const QByteArray& mediaTitle,
                            const QByteArray& filename);

} // namespace player
