#pragma once

#include <QEvent>
#include <QList>
#include <QWidget>

#include "core/net/NetTestSupport.h"
#include "gui/skinlib/CustomMessage.h"
#include "support/FakeShell.h"
#include "support/GuiTestEnv.h"

namespace nettest {

// Stands in for the main window of the network windows: records the ids of the custom messages
// posted to it.
class RecordingOwner : public QWidget {
public:
    QList<int> messages;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() == skin::MessageEvent::EventType())
            messages.append(static_cast<skin::MessageEvent*>(event)->message().id);
    }
};

}  // namespace nettest
