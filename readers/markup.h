// readers/: the references of markup text (XML's, and HTML's &nbsp;), which the ASX and XSPF readers and the
// links of a web page share.
#pragma once

#include <QString>
#include <QStringView>

namespace readers {

// XML's character and entity references (and HTML's &nbsp;) in markup text; anything else, including a bare
// "&" as Windows tools wrote it, stays as written.
QString DecodeMarkupReferences(QStringView text);

} // namespace readers
