// tests/fuzz: what must hold for anything a server sends or a user types that reaches the player: playlists,
// addresses, titles. Shared by the libFuzzer targets and by the unit test that replays every input they ever
// found.
#pragma once

#include "player/address.h"
#include "readers/directory_json.h"
#include "readers/playlist.h"
#include "readers/station_links.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace fuzz {

inline void Broken(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "server input property broken: %s: %s\n", what, detail.toUtf8().constData());
    std::abort();
}

// A playlist from a server stands here; a local one beside it.
inline const QUrl RemotePlaylist = QUrl(QStringLiteral("http://radio.example/lists/station.pls"));
inline const QUrl LocalPlaylist = QUrl(QStringLiteral("file:///nonexistent/corvana-fuzz/station.m3u"));

// What the engine is handed: nothing when refused; one absolute path to something that is not a directory,
// and never from a server's playlist; or network addresses whose scheme (what the engine dispatches on) is a
// streaming protocol, with a host, and nothing in them the engine could read as a separator.
inline void CheckEngineAddress(const player::EngineAddress& address, bool fromServer) {
    using player::EngineAddress;
    switch (address.kind) {
    case EngineAddress::Refused:
        if (!address.candidates.isEmpty()) Broken("a refused address goes to the engine");
        return;
    case EngineAddress::Local: {
        if (fromServer) Broken("a server's playlist reaches a local file", address.candidates.value(0));
        if (address.candidates.size() != 1 || !address.candidates.first().startsWith(QLatin1Char('/')) ||
            address.candidates.first().contains(QChar(0)))
            Broken("a local address is not one absolute path without NUL",
                   address.candidates.join(QLatin1Char('|')));
        if (QFileInfo(address.candidates.first()).isDir())
            Broken("a directory goes to the engine", address.candidates.first());
        return;
    }
    case EngineAddress::Network: {
        static const QStringList schemes =
            QStringLiteral("http https mmsh mmst rtsp rtsps rtmp rtmps rtmpt").split(QLatin1Char(' '));
        if (address.candidates.isEmpty()) Broken("a network address without candidates");
        for (const QString& candidate : address.candidates) {
            const qsizetype colon = candidate.indexOf(QLatin1Char(':'));
            if (colon <= 0 || !schemes.contains(candidate.left(colon)) ||
                !QStringView(candidate).mid(colon).startsWith(QLatin1String("://")))
                Broken("the engine would read another scheme", candidate);
            if (QUrl(candidate).host().isEmpty()) Broken("a network address without a host", candidate);
            for (QChar c : candidate)
                if (c.unicode() <= 0x20 || c.unicode() >= 0x7f)
                    Broken("an address not fully encoded", candidate);
        }
        return;
    }
    }
    Broken("an address of no kind");
}

inline void CheckAddressProperties(const QByteArray& bytes) {
    const QString typed = QString::fromUtf8(bytes);
    CheckEngineAddress(player::ClassifyAddress(typed), false);
    CheckEngineAddress(player::ClassifyPlaylistEntry(typed, RemotePlaylist), true);
    CheckEngineAddress(player::ClassifyPlaylistEntry(typed, LocalPlaylist), false);
}

// What a drop or a paste gives: a bounded batch or a refusal, and stations the list file can keep: an address
// not empty, on one line, with no space at an end the file would trim away; a name without "|", which would
// end it there, and without control characters, no longer than a title.
inline void CheckFoundStations(const readers::FoundStations& found) {
    using Refusal = readers::FoundStations::Refusal;
    if (found.stations.size() > readers::MaxFoundStations) Broken("more stations than the bound");
    if ((found.refusal == Refusal::None) == found.stations.isEmpty()) Broken("stations and refusal disagree");
    if (found.leftOut < readers::FoundStations::SomeLeftOut)
        Broken("a count of stations left out below none");
    for (const readers::FoundStation& station : found.stations) {
        const QString& address = station.address;
        if (address.isEmpty() || address != address.trimmed() || address.contains(QLatin1Char('\n')) ||
            address.contains(QLatin1Char('\r')))
            Broken("an address the list file cannot keep", address);
        if (station.name.size() > readers::MaxTitleLength || station.name.contains(QLatin1Char('|')) ||
            std::any_of(station.name.begin(), station.name.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; }))
            Broken("a name too long, with the separator or a control character", station.name);
    }
}

// A reader linear in its input reads these few kilobytes well within the budget; one that is not takes many
// times longer. Measured in the thread's processor time, which a busy machine does not stretch, and timed
// again before a slow input counts.
template <typename Read> void CheckFoundInTime(qsizetype size, Read read) {
    const qint64 budgetNs = 5'000'000 + 2'500 * qint64(size);
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int attempt = 0; attempt < 3 && fastest > budgetNs; ++attempt) {
        timespec start{}, end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        CheckFoundStations(read());
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        fastest =
            qMin(fastest, qint64(end.tv_sec - start.tv_sec) * 1'000'000'000 + end.tv_nsec - start.tv_nsec);
    }
    if (fastest > budgetNs) Broken("slower than linear", QStringLiteral("%1 ms").arg(fastest / 1'000'000));
}

// The drop and paste readers over the same bytes: as pasted text, as a server's playlist and as a local one.
inline void CheckFoundProperties(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    CheckFoundInTime(bytes.size(), [&] { return readers::ReadFoundText(text); });
    CheckFoundInTime(bytes.size(), [&] { return readers::ReadFoundPlaylist(bytes, RemotePlaylist); });
    CheckFoundInTime(bytes.size(), [&] { return readers::ReadFoundPlaylist(bytes, LocalPlaylist); });
    CheckFoundInTime(bytes.size(), [&] { return readers::ReadFoundHtml(text); });
    CheckFoundInTime(bytes.size(), [&] { return readers::ReadFoundMozUrl(bytes); });
}

// A playlist gives at most MaxPlaylistEntries entries, none empty or padded, only when it was recognized;
// what a server's playlist names passes the same checks as a typed address. The drop and paste readers hold
// to theirs over the same bytes.
inline void CheckPlaylistProperties(const QByteArray& bytes) {
    const readers::ParsedPlaylist playlist = readers::ParsePlaylist(bytes);
    if (!playlist.recognized && !playlist.entries.isEmpty()) Broken("entries from an unrecognized body");
    if (playlist.entries.size() > readers::MaxPlaylistEntries) Broken("more entries than the bound");
    for (const QString& entry : playlist.entries) {
        if (entry.isEmpty() || entry != entry.trimmed()) Broken("an empty or padded entry", entry);
        CheckEngineAddress(player::ClassifyPlaylistEntry(entry, RemotePlaylist), true);
    }
    CheckFoundProperties(bytes);
}

// A cleaned title fits the bound, shows on one line in the order its characters were written, has no white
// space at its ends or twice in a row, keeps every surrogate pair whole, and stays as it is when cleaned
// again.
inline void CheckTitleProperties(const QByteArray& bytes) {
    const QString title = readers::CleanTitle(readers::DecodeServerText(bytes));
    if (title.size() > readers::MaxTitleLength) Broken("a title beyond the bound");
    if (title.startsWith(QLatin1Char(' ')) || title.endsWith(QLatin1Char(' ')) ||
        title.contains(QLatin1String("  ")))
        Broken("white space at an end or twice", title);
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || (u >= 0x202a && u <= 0x202e) ||
            (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c || u == 0x2028 ||
            u == 0x2029)
            Broken("a control or reordering character", title);
        if (c.isSpace() && u != u' ') Broken("white space other than a space", title);
        if (c.isHighSurrogate() && (i + 1 == title.size() || !title.at(i + 1).isLowSurrogate()))
            Broken("half a surrogate pair", title);
        if (c.isLowSurrogate() && (i == 0 || !title.at(i - 1).isHighSurrogate()))
            Broken("half a surrogate pair", title);
    }
    if (readers::CleanTitle(title) != title) Broken("cleaning twice changes the title", title);
}

// The station directory's answer: refused with words, or rows the window and the list can hold: a bounded
// number, each with its id, a name the list file can keep and an address on one line.
inline void CheckDirectoryProperties(const QByteArray& bytes) {
    const readers::DirectoryAnswer answer = readers::ReadDirectoryStations(bytes);
    if (!answer.ok && !answer.stations.isEmpty()) Broken("stations from a refused answer");
    if (answer.stations.size() > readers::MaxDirectoryStations) Broken("more stations than the bound");
    for (const readers::DirectoryStation& station : answer.stations) {
        if (station.uuid.isEmpty() || station.name.isEmpty() || station.address.isEmpty())
            Broken("a station without its id, name or address", station.name);
        if (!readers::IsStationLink(station.address))
            Broken("not a station's address on the network", station.address);
        if (station.name.size() > readers::MaxTitleLength || station.name.contains(QLatin1Char('|')))
            Broken("a name the list file cannot keep", station.name);
        for (const QString* text :
             {&station.name, &station.country, &station.tags, &station.codec, &station.address})
            if (std::any_of(text->begin(), text->end(),
                            [](QChar c) { return c.category() == QChar::Other_Control; }))
                Broken("a control character shown", *text);
    }
}

} // namespace fuzz
