// player/: the titles heard since the program started, for the window 播放记录: one row per title a station
// played, newest first, kept in memory for the run only.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace player {

struct HeardTitle {
    QDateTime heard; // the wall clock when the title began to play
    QString station;
    QString title; // as the strip shows it: read and cleaned from the server's text
};

class TitleHistory {
public:
    // The most rows kept; the oldest go first.
    static constexpr int MaxRows = 1000;

    // A title the station now plays. No row for no title, nor for the title the newest row already holds
    // for that station: a reconnect, or a server sending it again. True when a row was added.
    bool add(const QDateTime& heard, const QString& station, const QString& title);
    // Newest first.
    const QList<HeardTitle>& rows() const { return m_rows; }

    // Rows as text another program reads: time, station and title, tab-separated, one row a line.
    static QString Text(const QList<HeardTitle>& rows);

private:
    QList<HeardTitle> m_rows;
};

} // namespace player
