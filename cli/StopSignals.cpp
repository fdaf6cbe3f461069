// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>

namespace corvane::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int gPipe[2] = {-1, -1};
std::atomic<bool> gPrompting{false};
// What each signal did before us; an inherited SIG_IGN (nohup, a script's background job)
// stays in force, and the rest come back when we go.
struct sigaction gBefore[std::size(kSignals)];
bool gCaught[std::size(kSignals)];

void onSignal(int sig) {
    if (gPrompting.load()) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    (void)!::write(gPipe[1], &b, 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sa.sa_flags = SA_RESTART;  // the render's threads go on undisturbed
    sigemptyset(&sa.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        gCaught[i] = ::sigaction(kSignals[i], nullptr, &gBefore[i]) == 0 &&
                     gBefore[i].sa_handler != SIG_IGN;
        if (gCaught[i]) ::sigaction(kSignals[i], &sa, nullptr);
    }
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (gCaught[i]) ::sigaction(kSignals[i], &gBefore[i], nullptr);
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void StopSignals::settle() {
    // Ignored, not given their default action back: the process is about to exit with the
    // result it has, and a late signal must not turn it into a kill.
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (gCaught[i]) ::signal(kSignals[i], SIG_IGN);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) gCaught[i] = false;
}

void StopSignals::setPrompting(bool prompting) {
    gPrompting.store(prompting);
}

void StopSignals::drain() {
    unsigned char b = 0;
    while (::read(gPipe[0], &b, 1) == 1) {
        if (received_ == 0) received_ = b;
        emit stopRequested(b);
    }
}

}  // namespace corvane::cli
