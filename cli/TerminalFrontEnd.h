// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdio>

#include "app/MessageBoxes.h"
#include "engine/JoinJob.h"

namespace corvane::cli {

// Message boxes on a terminal: messages go to stderr; a question is asked on the terminal
// when there is one, otherwise it is printed and answered No.
class TerminalMessageBoxes : public MessageBoxes {
public:
    explicit TerminalMessageBoxes(bool assumeYes = false) : assumeYes_(assumeYes) {}
    ~TerminalMessageBoxes() override;
    // A graph step's own message ("can not pControl->Run()!!!") is printed after the cause
    // that follows it, so the line a reader sees first says what went wrong.
    void showMessage(const QString& text, const QString& caption, Owner owner, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Owner owner, Icon icon) override;

    int shown() const { return shown_; }

private:
  void print(const QString& text, const QString& caption);
  void printHeld();

  bool assumeYes_;
  int shown_ = 0;
  QString heldText_;
  QString heldCaption_;
};

// The join's status line on a terminal: elapsed time and percent done, redrawn in place
// with a bar when stderr is a terminal, one line per update otherwise.
class TerminalJoinView : public JoinView {
public:
    TerminalJoinView();
    void attach(const JoinJob* job) { job_ = job; }

    void setStatusText(const QString& text) override;
    void setJoinButtonText(const QString&) override {}
    QString locateMissingSource(const QString& path) override;
    void showLoudnessReport(const LoudnessPlan& plan) override;
    // Ends a line drawn in place, before other output.
    void endLine();

private:
    const JoinJob* job_ = nullptr;
    bool tty_;
    bool midLine_ = false;
};

void printLine(std::FILE* to, const QString& text);

}  // namespace corvane::cli
