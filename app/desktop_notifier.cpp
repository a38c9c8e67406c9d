#include "app/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <utility>

namespace orvana::app {

namespace {

const QString kAppName = QStringLiteral("orvana-dl");

// The bus to send on, if there is one. The session bus only when the environment names it:
// otherwise the D-Bus library may start a bus daemon of its own (X11 autolaunch).
std::optional<QDBusConnection> notificationBus(const QString& address) {
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
            (runtime.isEmpty() || !QFileInfo::exists(runtime + u"/bus")))
            return std::nullopt;
        return QDBusConnection::sessionBus();
    }
    const QString name = u"orvana-dl notifications " + address;
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (bus.isConnected())
        return bus;
    // A failed connection would be handed back under its name for good: a bus that comes up
    // later is tried afresh.
    QDBusConnection::disconnectFromBus(name);
    return std::nullopt;
}

} // namespace

DesktopNotifier::DesktopNotifier(QString busAddress) : m_busAddress(std::move(busAddress)) {}

void DesktopNotifier::notify(const QString& summary, const QString& body) const {
    std::optional<QDBusConnection> bus = notificationBus(m_busAddress);
    if (!bus || !bus->isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    call << kAppName << uint(0) << kAppName << summary << body << QStringList() << QVariantMap()
         << int(-1);
    // Queued; the reply (or the error of a missing service) is dropped.
    (void)bus->send(call);
}

} // namespace orvana::app
