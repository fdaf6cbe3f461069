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

void TerminalMessageBoxes::showMessage(const QString& text, const QString& caption, Owner, Icon) {
    ++shown_;
    printLine(stderr, caption == kAppName ? QStringLiteral("corvane: %1").arg(text)
                                          : QStringLiteral("%1: %2").arg(caption, text));
}

bool TerminalMessageBoxes::askYesNo(const QString& text, const QString& caption, Owner, Icon) {
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
        const QString bar =
            QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
        const QByteArray line =
            QStringLiteral("\r%1  [%2] %3%").arg(text, bar).arg(percent, 3).toLocal8Bit();
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
        midLine_ = true;
    } else {
        printLine(stderr, QStringLiteral("%1  %2%").arg(text).arg(percent));
    }
}

void TerminalJoinView::endLine() {
    if (midLine_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        midLine_ = false;
    }
}

QString TerminalJoinView::locateMissingSource(const QString& path) {
    endLine();
    printLine(
        stderr,
        QStringLiteral("Error: %1 cannot be found or read. The join does not start.").arg(path));
    return {};
}

}  // namespace corvane::cli
