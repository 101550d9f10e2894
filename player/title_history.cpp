// player/: the titles heard since the program started.
#include "player/title_history.h"

namespace player {

bool TitleHistory::add(const QDateTime& heard, const QString& station, const QString& title) {
    if (title.isEmpty()) return false;
    if (!m_rows.isEmpty() && m_rows.constFirst().station == station && m_rows.constFirst().title == title)
        return false;
    m_rows.prepend({heard, station, title});
    if (m_rows.size() > MaxRows) m_rows.removeLast();
    return true;
}

QString TitleHistory::Text(const QList<HeardTitle>& rows) {
    QString text;
    for (const HeardTitle& row : rows) {
        // A name typed into the list may hold a tab; the line's fields may not.
        QString station = row.station;
        station.replace(QLatin1Char('\t'), QLatin1Char(' '));
        text += row.heard.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\t') + station +
                QLatin1Char('\t') + row.title + QLatin1Char('\n');
    }
    return text;
}

} // namespace player
