// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "media/graph/MediaType.h"

namespace corvane {

constexpr int kMaxItems = 1000;

struct MediaItem {
    QString path;
    std::int64_t duration = 0;  // 100 ns
    QString title;              // its tags, for the markers of a join; "" when it has none
    QString artist;
    media::SourceFormat format;  // as measured when it was added
};

// The ordered list of sound files to join, and its mirror MusicList, which the join engine
// reads. Every edit is followed by syncMusicList. Never more than kMaxItems items.
class ItemList {
public:
    ItemList();

    int itemCount() const { return static_cast<int>(items_.size()); }
    const MediaItem& item(int i) const { return items_[static_cast<std::size_t>(i)]; }
    const QString& itemPath(int i) const { return item(i).path; }
    std::int64_t itemDuration(int i) const { return item(i).duration; }

    int musicCount() const { return static_cast<int>(music_.size()); }
    const QString& musicPath(int i) const { return music_[static_cast<std::size_t>(i)].path; }
    std::int64_t musicDuration(int i) const { return music_[static_cast<std::size_t>(i)].duration; }
    const MediaItem& musicItem(int i) const { return music_[static_cast<std::size_t>(i)]; }

    bool isFull() const { return itemCount() >= kMaxItems; }
    // False (and nothing stored) when the list is full.
    bool append(const QString& path, std::int64_t duration, const QString& title = {},
                const QString& artist = {}, const media::SourceFormat& format = {});
    void removeItemAt(int i);
    void clear();
    void syncMusicList();

    // The editing commands' walks over a selection (one flag per row), leaving the
    // selection as the list view shows it afterwards. Each ends with syncMusicList.
    // `follow`, when given, is a row whose item is tracked: afterwards it is that item's new
    // row, or after a delete of that very item, the row that took its place (-1: none left).
    void deleteSelected(std::vector<bool>& selection, int* follow = nullptr);
    void moveUp(std::vector<bool>& selection, int* follow = nullptr);
    void moveDown(std::vector<bool>& selection, int* follow = nullptr);

    // Name and extension of a path, without its folder.
    static QString displayNameOf(const QString& path);
    // Whole seconds, truncated.
    static QString durationText(std::int64_t duration);

private:
    std::vector<MediaItem> items_;
    std::vector<MediaItem> music_;
};

}  // namespace corvane
