// platform/: showing text that comes from outside the program (a station's name or address, a stream's
// title) as the characters it holds. Qt reads a label's or tooltip's text as HTML when it looks like HTML:
// markup in a name would then be rendered, and an <img> would make Qt load whatever file it names.
#pragma once

#include <QString>

namespace platform {

// A tooltip that shows text literally, on one line.
QString PlainToolTip(const QString& text);

} // namespace platform
