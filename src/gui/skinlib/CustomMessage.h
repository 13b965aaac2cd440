// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QObject>
#include <memory>

// Custom window messages: an id with two integer parameters, and optionally a record owned by
// the message. Posting is thread-safe; the message is handled on the target's thread, and a
// record that is never handled (the window is gone) is freed with the event.
namespace skin {

inline constexpr int WM_USER = 0x400;

// Base of every record that travels with a message.
struct MessageRecord {
    virtual ~MessageRecord() = default;
};

// A record that carries one value of type T.
template <class T>
struct ValueRecord : MessageRecord {
    explicit ValueRecord(T v) : value(std::move(v)) {}
    T value;
};

struct Message {
    int id = 0;
    qintptr wParam = 0;
    qintptr lParam = 0;
    std::unique_ptr<MessageRecord> record;

    // The record as T, or null when there is none or it is of another type.
    template <class T>
    T* Record() const
    {
        return dynamic_cast<T*>(record.get());
    }
    // The value of a ValueRecord<T>, or null.
    template <class T>
    const T* Value() const
    {
        auto* carried = dynamic_cast<ValueRecord<T>*>(record.get());
        return carried ? &carried->value : nullptr;
    }
};

// A message with a value record.
template <class T>
Message MakeMessage(int id, T value, qintptr wParam = 0)
{
    Message message;
    message.id = id;
    message.wParam = wParam;
    message.record = std::make_unique<ValueRecord<T>>(std::move(value));
    return message;
}

class MessageEvent : public QEvent {
public:
    explicit MessageEvent(Message message);
    static QEvent::Type EventType();
    Message& message() { return message_; }

private:
    Message message_;
};

// Posts the message to target's event queue. Callable from any thread while target lives.
void PostMessage(QObject* target, Message message);
void PostMessage(QObject* target, int id, qintptr wParam = 0, qintptr lParam = 0);

}  // namespace skin
