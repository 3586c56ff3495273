#pragma once

#include <QObject>

class QSocketNotifier;

namespace orvella {

// SIGTERM, SIGINT and SIGHUP (the session ending, a `kill`, Ctrl+C, the
// terminal closing) reach the program through its event loop: the handler
// only writes the signal's number to a socket pair, whose other end the event
// loop watches. One instance per process.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signal);

private:
    void readSignal();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace orvella
