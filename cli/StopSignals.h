// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane::cli {

// SIGINT, SIGTERM and SIGHUP stop a running join the way Stop does instead of killing the
// process mid-write. The handler only writes to a pipe; the event loop reads it and emits
// stopRequested. A signal the process inherited as ignored (nohup, a script's background job)
// stays ignored. One instance at a time; the signals get their former action back when it
// goes, unless settle() was called.
class StopSignals : public QObject {
    Q_OBJECT
  public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // The first signal caught, 0 when none.
    int received() const { return received_; }
    // The exit status of a program stopped by the signal: 128 + its number.
    static int exitStatus(int signal) { return 128 + signal; }
    // While a question waits for an answer nothing is written yet: a signal then ends the
    // program at once, as without us.
    static void setPrompting(bool prompting);
    // The result is decided: from now on the signals are ignored, so one arriving while the
    // program exits cannot turn its result into a kill.
    static void settle();

  signals:
    void stopRequested(int signal);

  private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace corvane::cli
