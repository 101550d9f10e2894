// platform/: the signals that ask a program to end (SIGTERM, SIGHUP, SIGINT), delivered as a Qt signal on the
// user-interface thread, so that they go through the window's normal shutdown instead of ending the program
// at once with an unsaved list.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// While it exists, SIGTERM, SIGHUP and SIGINT arrive as received(). A signal the program was started with
// ignored (nohup's SIGHUP, SIGINT of a background job) stays ignored. One at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void Drain();
    QSocketNotifier* m_notifier = nullptr;
};

// Makes a write to a closed pipe or socket fail with EPIPE instead of ending the program. A launcher whose
// log pipe went away, or `corvana | head`, would otherwise end it at the engine's next warning, unsaved list
// and all. For the whole run: nothing the program writes is worth dying for.
void IgnoreBrokenPipes();

} // namespace platform
