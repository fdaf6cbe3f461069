// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace corvane {

// The sunken one-line status text. While a join runs it also fills, behind its text, in
// proportion to the part written.
class StatusLine : public QLabel {
    Q_OBJECT
  public:
    explicit StatusLine(QWidget* parent = nullptr);

    // 0..1, or a negative value for no fill.
    void setFraction(double fraction);
    double fraction() const { return fraction_; }
    // The filled part of the frame's inside, in pixels (empty without fill).
    QRect fillRect() const;
    // The height one whole line of text needs inside the frame, descenders included.
    int oneLineHeight() const;
    // The text as drawn: shortened in the middle with an ellipsis when it does not fit.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect textRect() const;
    double fraction_ = -1.0;
};

}  // namespace corvane
