// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/CustomMessage.h"

#include <QCoreApplication>

namespace skin {

MessageEvent::MessageEvent(Message message) : QEvent(EventType()), message_(std::move(message)) {}

QEvent::Type MessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMessage(QObject* target, Message message)
{
    QCoreApplication::postEvent(target, new MessageEvent(std::move(message)));
}

void PostMessage(QObject* target, int id, qintptr wParam, qintptr lParam)
{
    Message message;
    message.id = id;
    message.wParam = wParam;
    message.lParam = lParam;
    PostMessage(target, std::move(message));
}

}  // namespace skin
