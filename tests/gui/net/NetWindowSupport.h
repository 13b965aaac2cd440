// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QList>
#include <QStringList>
#include <QWidget>

#include "core/net/NetTestSupport.h"
#include "gui/skinlib/CustomMessage.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace nettest {

// Stands in for the main window of the network windows: records the ids of the custom messages
// posted to it and the text each carried.
class RecordingOwner : public QWidget {
public:
    QList<int> messages;
    QStringList texts;  // the text each message carried, empty when none

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() != skin::MessageEvent::EventType()) return;
        const skin::Message& message = static_cast<skin::MessageEvent*>(event)->message();
        messages.append(message.id);
        texts.append(message.Value<QString>() ? *message.Value<QString>() : QString());
    }
};

}  // namespace nettest
