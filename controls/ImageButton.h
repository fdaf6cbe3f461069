// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QPointer>

namespace corvane {

class SoundPlayer;

// A flat command button painted on its parent: no frame at rest, a thin raised frame while
// the mouse is over it, a thin sunken frame while pressed, an icon and a word-wrapped caption;
// a dotted frame inside when the keyboard gave it the focus.
// Entering it plays the hover sound once and shows its cursor; a tooltip names the command.
// A click takes the keyboard focus before the clicked() signal reaches anyone else.
class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    // Icon position relative to the caption.
    enum Placement { kIconLeft = 0, kIconAbove = 1, kIconRight = 2, kIconOverlap = 3 };

    static constexpr int kDone = 0;
    static constexpr int kNoIconInfo = 1;
    static constexpr int kNoCursor = 1;
    static constexpr int kBadPlacement = 4;
    static constexpr int kToolTipMaxWidth = 400;

    // The dialog codes a dialog manager asks of a push button.
    static constexpr unsigned kDlgcDefPushButton = 0x0010;
    static constexpr unsigned kDlgcUndefPushButton = 0x0020;
    static constexpr unsigned kDlgcButton = 0x2000;
    // Button types of the low five style bits.
    static constexpr unsigned kPushButtonStyle = 0x00;
    static constexpr unsigned kDefPushButtonStyle = 0x01;

    explicit ImageButton(QWidget* parent = nullptr);
    ~ImageButton() override;

    // Set-up, in the order the main window calls them. Results: kDone unless stated.
    // The icon of an artwork id at its own size; an unknown id leaves no icon (kDone),
    // an icon that cannot be rendered leaves no icon and gives kNoIconInfo.
    int SetIconResource(int iconId);
    // The sound played on entering; 0 clears it. The sound never blocks the interface, so
    // `asynchronous` is kept for callers but does not change how it plays.
    int SetHoverSound(int soundId, bool asynchronous);
    // Lets the parent's pixels show behind the button instead of the face colour.
    int SetTransparent(bool repaint);
    // The cursor of an artwork id (0 removes it); kNoCursor when it cannot be loaded.
    int SetButtonCursor(int cursorId, bool repaint);
    // A null text does nothing; otherwise sets the tip text and (de)activates the tip.
    void SetTipText(const QString& text, bool activate);
    // Placement 0..3; larger values give kBadPlacement and change nothing.
    int SetAlignment(int placement, bool repaint);

    // The dialog's default push button as the template makes it (the attach step).
    void setDialogDefault(bool isDefault);
    // A new button style: type 1 makes this the default button, type 0 a plain one, any
    // other type leaves the default flag alone.
    void setButtonStyle(unsigned style);
    bool isDefaultButton() const { return default_; }
    unsigned dialogCode() const;

    bool isHot() const { return hot_; }
    // Whether the focus frame shows: the focus came from the keyboard (Tab, a shortcut), not
    // from a click.
    bool showsFocusCue() const { return focusCue_ && hasFocus(); }
    bool isTransparent() const { return transparent_; }
    int placement() const { return placement_; }
    QSize iconSize() const { return iconSize_; }
    int hoverSound() const { return hoverSound_; }
    bool hoverSoundAsynchronous() const { return soundAsync_; }
    bool hasButtonCursor() const { return hasCursor_; }
    QString tipText() const { return tipText_; }
    bool isTipActive() const { return tipActive_; }
    QColor textColor() const { return textColor_; }

    // Where the sound goes; the process-wide Qt Multimedia player unless replaced.
    void setSoundPlayer(SoundPlayer* player);

    // The rectangles one paint uses for an item rectangle: the icon's (empty without an
    // icon) and the area the caption is centred in.
    struct Layout {
        QRect icon;
        QRect captionArea;
    };
    Layout layoutFor(const QRect& item, bool pressed, bool hasCaption) const;
    // The caption block's rectangle: measured with word-wrap and centred in `area`.
    QRect captionRect(const QRect& area, const QString& caption) const;

    // Breaks a tip into lines no wider than maxWidth pixels (a longer word keeps its own line).
    static QString wrapToolTip(const QString& text, const QFont& font, int maxWidth);

    QSize sizeHint() const override;

protected:
    virtual void PaintBackground(QPainter& painter, const QRect& item);
    virtual void PaintBorder(QPainter& painter, const QRect& item);
    virtual void PaintIcon(QPainter& painter, const QRect& item, QRect& captionArea);
    virtual void PaintCaption(QPainter& painter, const QRect& item, const QRect& captionArea);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void trackMouse(const QPoint& pos, Qt::MouseButtons buttons);
    void leaveHot();
    void readSystemColours();
    void moveFocusAfterDisable();
    void restoreDialogDefault();
    QList<ImageButton*> windowButtons() const;

    QPoint imageOrigin_{3, 3};
    QPoint pressOffset_{1, 1};
    bool hot_ = false;
    bool focusCue_ = false;
    bool transparent_ = false;
    bool pressed_ = false;
    bool disabled_ = false;
    bool default_ = false;
    bool dialogDefault_ = false;
    int placement_ = kIconLeft;
    QColor faceColor_;
    QColor textColor_;
    bool hasCursor_ = false;
    QString tipText_;
    bool tipActive_ = false;
    QPixmap icon_;
    QSize iconSize_;
    int hoverSound_ = 0;
    bool soundAsync_ = false;
    SoundPlayer* player_ = nullptr;
    SoundPlayer* soundPlayer() const;
    void preloadHoverSound();
    QPointer<QWidget> filteredWindow_;
};

}  // namespace corvane
