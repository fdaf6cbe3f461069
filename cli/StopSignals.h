#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane::cli {

// SIGINT, SIGTERM and SIGHUP stop a running join the way Stop does instead of killing the
// process mid-write. The handler only writes to a pipe; the event loop reads it and emits
// stopRequested. One instance at a time; the signals get their default action back when it
// goes.
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

  signals:
    void stopRequested(int signal);

  private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace corvane::cli
