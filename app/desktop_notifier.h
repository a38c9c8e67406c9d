#pragma once

#include <QString>

namespace orvana::app {

// Sends desktop notifications through org.freedesktop.Notifications. Window thread; never
// waits for the service and never fails: without a bus, or without a service on it, nothing
// happens.
class DesktopNotifier {
public:
    // busAddress: the D-Bus address of the bus the service is on ("unix:path=..."); empty: the
    // session bus, when the environment names one.
    explicit DesktopNotifier(QString busAddress = {});

    // One notification of app "orvana-dl" with its icon; the reply is not waited for.
    void notify(const QString& summary, const QString& body) const;

private:
    QString m_busAddress;
};

} // namespace orvana::app
