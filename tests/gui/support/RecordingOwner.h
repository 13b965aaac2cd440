// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QWidget>
#include <optional>

#include "core/video/CompressParams.h"
#include "gui/skinlib/CustomMessage.h"

// Stands in for the main window: records the custom messages posted to it, with the
// CompressParams record of those that carry one.
class RecordingOwner : public QWidget {
public:
    struct Received {
        int id = 0;
        qintptr wParam = 0;
        qintptr lParam = 0;
        std::optional<CompressParams> params;
    };
    QList<Received> received;

protected:
    void customEvent(QEvent* event) override
    {
        if (event->type() != skin::MessageEvent::EventType()) return;
        const skin::Message& msg = static_cast<skin::MessageEvent*>(event)->message();
        Received entry{msg.id, msg.wParam, msg.lParam, std::nullopt};
        if (const CompressParams* params = msg.Value<CompressParams>()) entry.params = *params;
        received.append(entry);
    }
};
