// platform/: showing text that comes from outside the program (a station's name or address, a stream's
// title) as the characters it holds. Qt reads a label's or tooltip's text as HTML when it looks like HTML:
// markup in a name would then be rendered, and an <img> would make Qt load whatever file it names.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The most of such a text any label, list cell or tooltip shows, in UTF-16 code units. Qt lays out and
// measures a widget's whole text, on the UI thread, whenever it paints or sizes it: a 100 MB address froze
// the window for many seconds. Three hundred characters are more than any line of the window holds.
inline constexpr qsizetype MaxShownLength = 300;

// The text as shown: at most MaxShownLength characters; a longer one is cut, never inside a surrogate pair,
// and ends in "…". The caller keeps the whole text.
QString ShownText(const QString& text);

// A tooltip that shows text literally, on one line, cut as ShownText cuts it.
QString PlainToolTip(const QString& text);
// The same for several lines, each cut by itself.
QString PlainToolTip(const QStringList& lines);

} // namespace platform
