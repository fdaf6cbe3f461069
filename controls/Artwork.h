// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QUrl>

namespace corvane::artwork {

// Resource ids of the program's artwork (drawn as SVG, kept in the Qt resources).
inline constexpr int kAppIcon = 128;
inline constexpr int kBackgroundBitmap = 139;
inline constexpr int kAddIcon = 140;
inline constexpr int kHandCursor = 141;
inline constexpr int kHoverSound = 144;
inline constexpr int kOptionsIcon = 146;
inline constexpr int kHelpIcon = 148;
inline constexpr int kMoveUpIcon = 150;
inline constexpr int kMoveDownIcon = 151;
inline constexpr int kDeleteSelectedIcon = 152;
inline constexpr int kDeleteAllIcon = 154;
inline constexpr int kExitIcon = 159;
inline constexpr int kJoinIcon = 160;
// Not in the command table's icon column; available for menus and links.
inline constexpr int kHomepageIcon = 161;
inline constexpr int kAboutIcon = 162;

// Registers the program's Qt resources (artwork, dialog templates); done on first use.
void ensureResources();

// The resource path of an icon, cursor, bitmap or sound id; empty for an unknown id.
QString resourcePath(int id);

// An icon's own size: 32 × 32 for the large command icons and the program icon, 16 × 16 for
// the list buttons; an invalid size for an unknown id.
QSize iconSize(int id);

// The icon rendered at its own size (or `size` when given) for the screen's pixel ratio;
// a null pixmap for an unknown id or an SVG that does not render.
QPixmap iconPixmap(int id, QSize size = QSize());
QIcon icon(int id);
QIcon applicationIcon();

// The cursor of `id` (32 × 32 with its hot spot); false for an unknown id.
bool loadCursor(int id, QCursor* cursor);
// The hand cursor's hot spot as QCursor wants it for an image drawn at `ratio` on the given
// platform plugin.
QPoint cursorHotSpot(qreal ratio, const QString& platform);

// The background tile (bitmap 139) at its own size.
QPixmap bitmap(int id);

// The sound of `id` as a URL QSoundEffect can play; empty for an unknown id.
QUrl soundUrl(int id);

// Renders an SVG file to an image of `pixelSize`; null when it cannot be read.
QImage renderSvg(const QString& path, QSize pixelSize);

}  // namespace corvane::artwork
