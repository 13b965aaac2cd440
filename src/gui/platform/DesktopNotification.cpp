// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/platform/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace desktopnotify {

namespace {

bool HasNotificationService(const QDBusConnection& bus)
{
    if (!bus.isConnected()) return false;
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    const QString service = QString::fromLatin1(kService);
    if (names->isServiceRegistered(service)) return true;
    // Many desktops start their notification daemon on the first call.
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

}  // namespace

QDBusConnection SessionBus()
{
    const QString name = QStringLiteral("lumo-notifications");
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!bus.isConnected()) QDBusConnection::disconnectFromBus(name);
    return bus;
}

Route Send(const QDBusConnection& bus, const QString& title, const QString& body,
           QSystemTrayIcon* tray)
{
    if (HasNotificationService(bus)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(kService), QString::fromLatin1(kPath),
            QString::fromLatin1(kInterface), QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
        call << title                               // app_name
             << quint32(0)                          // replaces_id
             << QString::fromLatin1(kDesktopEntry)  // app_icon
             << title                               // summary
             << body                                // body
             << QStringList()                       // actions
             << hints                               // hints
             << qint32(-1);                         // expire_timeout: the server's default
        // The answer (the notification's id) is of no use here; nothing waits for it.
        if (bus.send(call)) return Route::Bus;
    }
    if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages()) {
        tray->showMessage(title, body, QSystemTrayIcon::Information);
        return Route::Tray;
    }
    return Route::None;
}

}  // namespace desktopnotify
