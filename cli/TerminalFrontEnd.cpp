// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalFrontEnd.h"

#include <unistd.h>

#include "cli/StopSignals.h"

#include <iostream>
#include <string>

namespace corvane::cli {

void printLine(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}

namespace {

// The steps whose message is followed by the text of their cause.
bool isStepWithCause(const QString& text) {
    return text == QLatin1String("can not pControl->Run()!!!") ||
           text == QLatin1String("can not pASC->SetFormat(pmt)") ||
           text.startsWith(QLatin1String("failed pBuilder->RenderStream("));
}

}  // namespace

TerminalMessageBoxes::~TerminalMessageBoxes() {
    printHeld();
}

void TerminalMessageBoxes::print(const QString& text, const QString& caption) {
    printLine(stderr, caption == kAppName ? QStringLiteral("corvane: %1").arg(text)
                                          : QStringLiteral("%1: %2").arg(caption, text));
}

void TerminalMessageBoxes::printHeld() {
    if (heldText_.isEmpty()) return;
    print(heldText_, heldCaption_);
    heldText_.clear();
}

void TerminalMessageBoxes::showMessage(const QString& text, const QString& caption, Owner, Icon) {
    ++shown_;
    if (heldText_.isEmpty() && isStepWithCause(text)) {
        heldText_ = text;
        heldCaption_ = caption;
        return;
    }
    print(text, caption);
    printHeld();
}

bool TerminalMessageBoxes::askYesNo(const QString& text, const QString& caption, Owner, Icon) {
    printHeld();
    if (assumeYes_) return true;
    const QString prompt = QStringLiteral("%1: %2").arg(caption, text);
    if (!::isatty(STDIN_FILENO)) {
        printLine(stderr, prompt + QStringLiteral(" (no terminal to answer; use -y to replace)"));
        return false;
    }
    const QByteArray p = (prompt + QStringLiteral(" [y/N] ")).toLocal8Bit();
    std::fwrite(p.constData(), 1, static_cast<std::size_t>(p.size()), stderr);
    std::fflush(stderr);
    std::string answer;
    StopSignals::setPrompting(true);
    const bool read = static_cast<bool>(std::getline(std::cin, answer));
    StopSignals::setPrompting(false);
    if (!read) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

TerminalJoinView::TerminalJoinView() : tty_(::isatty(STDERR_FILENO)) {}

void TerminalJoinView::setStatusText(const QString& text) {
    const double fraction = job_ ? job_->progress() : 0.0;
    const int percent = static_cast<int>(fraction * 100.0);
    if (!job_ || !job_->joinRunning()) {
        endLine();
        return;  // the final text is printed by the caller
    }
    if (std::ferror(stderr)) return;  // nobody reads it any more
    if (tty_) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(fraction * kWidth);
        const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
        const QByteArray line = QStringLiteral("\r%1  [%2] %3%")
                                    .arg(text, bar, QStringLiteral("%1").arg(percent, 3))
                                    .toLocal8Bit();
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
        midLine_ = true;
    } else {
        printLine(stderr, QStringLiteral("%1  %2%").arg(text, QString::number(percent)));
    }
}

void TerminalJoinView::endLine() {
    if (midLine_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        midLine_ = false;
    }
}

void TerminalJoinView::showLoudnessReport(const LoudnessPlan& plan) {
    endLine();
    const QByteArray text = loudnessTable(plan).toLocal8Bit();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
}

QString TerminalJoinView::locateMissingSource(const QString& path) {
    endLine();
    printLine(
        stderr,
        QStringLiteral("Error: %1 cannot be found or read. The join does not start.").arg(path));
    return {};
}

}  // namespace corvane::cli
