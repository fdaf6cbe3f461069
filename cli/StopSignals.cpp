#include "cli/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace corvane::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int gPipe[2] = {-1, -1};
std::atomic<bool> gPrompting{false};

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
    for (int s : kSignals) ::sigaction(s, &sa, nullptr);
}

StopSignals::~StopSignals() {
    for (int s : kSignals) ::signal(s, SIG_DFL);
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
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
