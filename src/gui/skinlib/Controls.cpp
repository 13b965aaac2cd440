#include "gui/skinlib/Controls.h"

#include <QVariant>

namespace skin {

void SetMouseEnabled(QWidget* control, bool enabled)
{
    if (control) control->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

bool IsMouseEnabled(const QWidget* control)
{
    return control && !control->testAttribute(Qt::WA_TransparentForMouseEvents);
}

void SetTag(QObject* control, qintptr tag)
{
    if (control) control->setProperty("tag", QVariant::fromValue<qlonglong>(tag));
}

qintptr GetTag(const QObject* control)
{
    return control ? static_cast<qintptr>(control->property("tag").toLongLong()) : 0;
}

}  // namespace skin
