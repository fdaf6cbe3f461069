// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "engine/LoudnessMatch.h"

class QLabel;
class QTableWidget;

namespace corvane {

// What loudness matching did in the last join: each file's measured loudness, true peak and
// the gain it got, or why none. Not modal: the window goes on while it is open.
class LoudnessReportDialog : public QDialog {
    Q_OBJECT
  public:
    explicit LoudnessReportDialog(const LoudnessPlan& plan, QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }

  private:
    QTableWidget* table_;
    QLabel* summary_;
};

}  // namespace corvane
