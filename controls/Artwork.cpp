// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Artwork.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// The resources live in this static library: register them before the first lookup.
static void initCorvaneResources() { Q_INIT_RESOURCE(corvane); }

namespace corvane::artwork {

void ensureResources() {
    static const bool registered = (initCorvaneResources(), true);
    (void)registered;
}

namespace {

struct Entry {
    const char* path;
    int size;
};

const QHash<int, Entry>& entries() {
    static const QHash<int, Entry> table = {
        {kAppIcon, {":/icons/corvane.svg", 32}},
        {kBackgroundBitmap, {":/bitmaps/background.svg", 64}},
        {kAddIcon, {":/icons/add.svg", 32}},
        {kHandCursor, {":/cursors/hand.svg", 32}},
        {kHoverSound, {":/sounds/hover.wav", 0}},
        {kOptionsIcon, {":/icons/options.svg", 32}},
        {kHelpIcon, {":/icons/help.svg", 32}},
        {kMoveUpIcon, {":/icons/move-up.svg", 16}},
        {kMoveDownIcon, {":/icons/move-down.svg", 16}},
        {kDeleteSelectedIcon, {":/icons/delete-selected.svg", 16}},
        {kDeleteAllIcon, {":/icons/delete-all.svg", 16}},
        {kExitIcon, {":/icons/exit.svg", 32}},
        {kJoinIcon, {":/icons/join.svg", 32}},
        {kHomepageIcon, {":/icons/homepage.svg", 16}},
        {kAboutIcon, {":/icons/about.svg", 16}},
    };
    return table;
}

qreal screenRatio() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? qGuiApp->devicePixelRatio()
               : 1.0;
}

// The hot spot of the hand cursor: the tip of its index finger in the 32 × 32 drawing.
constexpr QPoint kHandHotSpot(12, 2);

}  // namespace

QString resourcePath(int id) {
    ensureResources();
    const auto it = entries().find(id);
    return it == entries().end() ? QString() : QString::fromLatin1(it->path);
}

QSize iconSize(int id) {
    const auto it = entries().find(id);
    if (it == entries().end() || !QString::fromLatin1(it->path).endsWith(".svg")) return {};
    return QSize(it->size, it->size);
}

QImage renderSvg(const QString& path, QSize pixelSize) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || pixelSize.isEmpty()) return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QPixmap iconPixmap(int id, QSize size) {
    if (!size.isValid()) size = iconSize(id);
    if (size.isEmpty() || !iconSize(id).isValid()) return {};
    const qreal ratio = screenRatio();
    QImage image = renderSvg(resourcePath(id), size * ratio);
    if (image.isNull()) return {};
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

QIcon icon(int id) {
    const QString path = resourcePath(id);
    QIcon result;
    if (!iconSize(id).isValid()) return result;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage image = renderSvg(path, QSize(side, side));
        if (!image.isNull()) result.addPixmap(QPixmap::fromImage(image));
    }
    return result;
}

QIcon applicationIcon() { return icon(kAppIcon); }

bool loadCursor(int id, QCursor* cursor) {
    if (id != kHandCursor) return false;
    // Drawn at the screen's scale: 32 × 32 device-independent pixels, sharp at any ratio.
    const qreal ratio = screenRatio();
    QImage image = renderSvg(resourcePath(id), QSize(32, 32) * ratio);
    if (image.isNull()) return false;
    image.setDevicePixelRatio(ratio);
    const QPoint spot = cursorHotSpot(ratio, QGuiApplication::platformName());
    *cursor = QCursor(QPixmap::fromImage(image), spot.x(), spot.y());
    return true;
}

QPoint cursorHotSpot(qreal ratio, const QString& platform) {
    // Wayland scales the hot spot with the cursor's buffer itself; X11 takes it in the
    // image's own pixels, so there it must grow with the image or clicks land beside the tip.
    if (platform.startsWith(QLatin1String("wayland"))) return kHandHotSpot;
    return QPoint(qRound(kHandHotSpot.x() * ratio), qRound(kHandHotSpot.y() * ratio));
}

QPixmap bitmap(int id) {
    if (id != kBackgroundBitmap) return {};
    const int side = entries().value(id).size;
    return QPixmap::fromImage(renderSvg(resourcePath(id), QSize(side, side)));
}

QUrl soundUrl(int id) {
    if (id != kHoverSound) return {};
    return QUrl(QStringLiteral("qrc") + resourcePath(id));
}

}  // namespace corvane::artwork
