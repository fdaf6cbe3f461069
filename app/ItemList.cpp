// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ItemList.h"

#include <algorithm>
#include <utility>

namespace corvane {

namespace {

int nextSelected(const std::vector<bool>& selection, int after) {
    for (int i = after + 1; i < static_cast<int>(selection.size()); ++i)
        if (selection[static_cast<std::size_t>(i)]) return i;
    return -1;
}

void followSwap(int* follow, int a, int b) {
    if (!follow) return;
    if (*follow == a)
        *follow = b;
    else if (*follow == b)
        *follow = a;
}

}  // namespace

ItemList::ItemList() {
    items_.reserve(kMaxItems);
    music_.reserve(kMaxItems);
}

bool ItemList::append(const QString& path, std::int64_t duration, const QString& title,
                      const QString& artist, const media::SourceFormat& format) {
    if (isFull()) return false;
    items_.push_back({path, duration, title, artist, format});
    return true;
}

void ItemList::removeItemAt(int i) {
    if (i < 0 || i >= itemCount()) return;
    items_.erase(items_.begin() + i);
}

void ItemList::clear() { items_.clear(); }

void ItemList::syncMusicList() { music_ = items_; }

void ItemList::deleteSelected(std::vector<bool>& selection, int* follow) {
    selection.resize(static_cast<std::size_t>(itemCount()), false);
    int removed = 0;
    int removedAbove = 0;
    for (int r = nextSelected(selection, -1); r >= 0; r = nextSelected(selection, r)) {
        removeItemAt(r - removed);
        ++removed;
        if (follow && r < *follow) ++removedAbove;
    }
    if (follow && *follow >= 0) *follow = std::min(*follow - removedAbove, itemCount() - 1);
    selection.assign(static_cast<std::size_t>(itemCount()), false);
    syncMusicList();
}

void ItemList::moveUp(std::vector<bool>& selection, int* follow) {
    selection.resize(static_cast<std::size_t>(itemCount()), false);
    for (int r = nextSelected(selection, -1); r >= 0;) {
        const int next = nextSelected(selection, r);
        if (r == 0) break;
        std::swap(items_[static_cast<std::size_t>(r)], items_[static_cast<std::size_t>(r - 1)]);
        followSwap(follow, r, r - 1);
        // Row r-1 is deleted and a fresh, unselected row is inserted at r: the selected row
        // now stands at r-1.
        selection[static_cast<std::size_t>(r)] = false;
        selection[static_cast<std::size_t>(r - 1)] = true;
        r = next;
    }
    syncMusicList();
}

void ItemList::moveDown(std::vector<bool>& selection, int* follow) {
    selection.resize(static_cast<std::size_t>(itemCount()), false);
    // From the bottom up, so a block of selected items moves down by one as a block and keeps
    // its selection. Selected items already at the end stay; those above them still move.
    int blocked = itemCount();
    for (int r = itemCount() - 1; r >= 0; --r) {
        if (!selection[static_cast<std::size_t>(r)]) continue;
        if (r + 1 == blocked) {
            blocked = r;
            continue;
        }
        std::swap(items_[static_cast<std::size_t>(r)], items_[static_cast<std::size_t>(r + 1)]);
        followSwap(follow, r, r + 1);
        selection[static_cast<std::size_t>(r)] = false;
        selection[static_cast<std::size_t>(r + 1)] = true;
    }
    syncMusicList();
}

QString ItemList::displayNameOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString ItemList::durationText(std::int64_t duration) {
    return QString::number(duration / 10'000'000);
}

}  // namespace corvane
