#include "panel/panel_accessible.h"

#include "panel/panel_window.h"

#include <QAccessibleWidget>
#include <QMetaObject>

namespace {

class PanelAccessible : public QAccessibleWidget
{
public:
    explicit PanelAccessible(Form3 *panel)
        : QAccessibleWidget(panel, QAccessible::Button)
    { }

    QStringList actionNames() const override
    {
        return {QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::showMenuAction()};
    }

    void doAction(const QString &actionName) override
    {
        auto *panel = static_cast<Form3 *>(widget());
        // Queued: the menu and the windows run their own loops, and the
        // tool that asked should get its answer first.
        if (actionName == QAccessibleActionInterface::pressAction())
            QMetaObject::invokeMethod(panel, &Form3::toggleMainWindow, Qt::QueuedConnection);
        else if (actionName == QAccessibleActionInterface::showMenuAction())
            QMetaObject::invokeMethod(panel, &Form3::popUpMenu, Qt::QueuedConnection);
    }
};

QAccessibleInterface *panelFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("Form3") && object && object->isWidgetType())
        return new PanelAccessible(static_cast<Form3 *>(object));
    return nullptr;
}

} // namespace

void installPanelAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(panelFactory);
}
