// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QLabel>

namespace corvane {

class LinkOpener;
class MessageBoxes;

// A static text acting as a link: link, visited and hover colours, an underline, a hand
// cursor, the target as tooltip; a click opens the target through the desktop and falls
// back to the web browser's own command line. Tab reaches it (a dotted frame shows it has the
// keyboard focus) and Enter or Space opens it.
class LinkControl : public QLabel {
    Q_OBJECT
public:
    static constexpr int kShowNormal = 5;     // show command handed to openTarget
    static constexpr int kHoverPeriodMs = 100;

    enum UnderlineMode { kUnderlineHover = -1, kUnderlineNever = 0, kUnderlineAlways = 1 };

    explicit LinkControl(QWidget* parent = nullptr);

    // Takes over the label as the dialog made it: the target from the text or the text from
    // the target, the fonts, the size of the text, the hand cursor and the tooltip.
    void attach();
    bool isAttached() const { return attached_; }

    void setTarget(const QString& address);
    const QString& target() const { return target_; }
    void setUnderlineMode(int mode);
    int underlineMode() const { return underlineMode_; }
    void setFitToText(bool fit) { fitToText_ = fit; }

    // Opens the address: above 32 on success, the failure's code otherwise.
    int openTarget(const QString& address, int show);
    // "Unable to open hyperlink:" with the text of the code, in the application's box.
    void showOpenError(int code);
    static QString openErrorText(int code);

    void fitToText();
    bool loadHandCursor();

    const QColor& linkColour() const { return linkColour_; }
    const QColor& visitedColour() const { return visitedColour_; }
    const QColor& hoverColour() const { return hoverColour_; }
    // The colour the text is drawn in now.
    QColor currentColour() const;
    bool isHovering() const { return hovering_; }
    bool isVisited() const { return visited_; }
    bool hasHandCursor() const { return hasHandCursor_; }

    // Both default to the desktop and the Qt message boxes; neither is owned.
    void setOpener(LinkOpener* opener) { opener_ = opener; }
    void setMessageBoxes(MessageBoxes* boxes) { boxes_ = boxes; }

signals:
    // After a click: whether the target opened.
    void targetOpened(bool success);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void click();
    void applyColour();
    void selectFont(bool underlined);

    QColor linkColour_{0, 0, 238};
    QColor visitedColour_{85, 26, 139};
    QColor hoverColour_{255, 0, 0};
    bool hovering_ = false;
    bool visited_ = false;
    int underlineMode_ = kUnderlineHover;
    bool fitToText_ = true;
    QString target_;
    QFont underlinedFont_;
    QFont normalFont_;
    bool hasHandCursor_ = false;
    QBasicTimer hoverTimer_;
    bool attached_ = false;
    // A release opens the link only after its own press: the second release of a
    // double-click follows no press.
    bool pressed_ = false;
    bool focusCue_ = false;  // the focus came from the keyboard
    LinkOpener* opener_ = nullptr;
    MessageBoxes* boxes_ = nullptr;
};

}  // namespace corvane
