#pragma once

#include <QObject>

namespace orvella::platform {

// The computer going to sleep and waking up (logind's PrepareForSleep on the
// system bus), and the network coming back (QNetworkInformation). Listening
// never waits on a bus: start() only adds a match rule, and a bus that is not
// there (or was put out of reach at start-up) leaves the signals silent.
class SystemEvents : public QObject
{
    Q_OBJECT
public:
    explicit SystemEvents(QObject* parent = nullptr);
    ~SystemEvents() override;

    void start();

Q_SIGNALS:
    void sleeping();
    void woken();
    // Reachability went online after being offline (not after "unknown",
    // which is how every start begins).
    void networkReturned();

private Q_SLOTS:
    // logind's signal, which only a string-named slot receives.
    void PrepareForSleep(bool start);

private:
    bool m_listening = false;
    bool m_wasOffline = false;
};

} // namespace orvella::platform
