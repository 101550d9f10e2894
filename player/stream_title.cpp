// player/: the stream's title and name from its tags.
#include "player/stream_title.h"

#include "readers/playlist.h"

namespace player {

namespace {
QByteArray Tag(const QMap<QByteArray, QByteArray>& tags, const char* name) {
    for (auto it = tags.begin(); it != tags.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value();
    return {};
}
} // namespace

StreamTitles TitlesFromTags(const QMap<QByteArray, QByteArray>& tags, const QByteArray& mediaTitle,
                            const QByteArray& filename) {
    // ICY titles arrive as the server sent them: UTF-8 or, from Chinese stations, GB18030.
    QByteArray raw = Tag(tags, "icy-title");
    if (raw.trimmed().isEmpty()) raw = Tag(tags, "title");
    QByteArray name = Tag(tags, "icy-name");
    if (name.trimmed().isEmpty() && mediaTitle != filename) name = mediaTitle;
    // What a server sends is shown without its controls and direction overrides, and cut to a sane length.
    return {readers::CleanTitle(readers::DecodeServerText(raw.trimmed())),
            readers::CleanTitle(readers::DecodeServerText(name.trimmed()))};
}

} // namespace player
