// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>
#include <vector>

#include "app/ItemList.h"

namespace corvane {

// Playlists: .m3u, .m3u8 and .pls files read into the files they list, and the item list
// written as .m3u8. No widgets: the window and the terminal both expand through here.
class Playlist {
public:
    struct Expansion {
        QStringList files;     // in order, playlists replaced by their entries
        QStringList messages;  // one per problem, naming the playlist and the files
    };

    // Whether the name ends in .m3u, .m3u8 or .pls (any case).
    static bool isPlaylistName(const QString& path);

    // Every playlist among `paths` replaced by the files it lists, in order; other paths
    // kept as they are. Relative entries are taken against the playlist's folder and file
    // URLs decoded; comments, #EXTINF and other # lines are skipped. Entries that do not
    // exist or are not local files are left out and named in a message. A playlist inside
    // a playlist is expanded in its place, except one that is already being expanded (a
    // loop), which is skipped with a message. At most `limit` files come out.
    static Expansion expand(const QStringList& paths, int limit = kMaxItems * 100);

    // The entries of one playlist's text, unresolved: as written, minus comments and blank
    // lines (for .pls, the FileN values in the order of N).
    static QStringList entriesOf(const QByteArray& text, bool pls);

    // The list as an .m3u8 file beside `playlistPath`: #EXTM3U, then #EXTINF:seconds,title
    // and the path of each item, relative to the playlist's folder when the file lies
    // inside it.
    static QByteArray toM3u8(const ItemList& list, const QString& playlistPath);
    // Writes toM3u8 to `path` in one piece (the old file stays until the new one is
    // complete); false with `error` set when it could not.
    static bool save(const ItemList& list, const QString& path, QString* error);

    Q_DECLARE_TR_FUNCTIONS(corvane::Playlist)
};

}  // namespace corvane
