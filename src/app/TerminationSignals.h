#pragma once
// Ctrl-C (SIGINT) and SIGTERM sent to the window's process: instead of ending the process
// where it stands, they are turned into an ordinary event on the window's thread, so the
// window closes the normal way (stopping and waiting for its workers). A second signal while
// that goes on ends the process at once, as the signal would have without this.
//
// The signal handler only writes a byte to a pipe (the self-pipe pattern); a socket notifier
// on the window's thread reads it.

#include <QObject>

class QSocketNotifier;

namespace ovx {

class TerminationSignals : public QObject {
    Q_OBJECT

  public:
    // Installs the handlers; only one object may exist at a time. Window thread.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Restores the handlers that were there before.
    ~TerminationSignals() override;

    bool Installed() const { return notifier_ != nullptr; }

  signals:
    // SIGINT or SIGTERM arrived; the number of the signal.
    void received(int signal);

  private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ovx
