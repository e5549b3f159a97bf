#include "gui/AccessibleRoles.h"

#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace lotfinch::gui {

namespace {

constexpr const char *RoleProperty = "lotfinchAccessibleRole";

// Asked for every class of an object, most derived first: it answers only
// for widgets given a role above and leaves all others to Qt.
QAccessibleInterface *widgetWithRole(const QString &, QObject *object)
{
    const QVariant role = object && object->isWidgetType() ? object->property(RoleProperty) : QVariant();
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void SetAccessibleRole(QWidget *widget, QAccessible::Role role)
{
    static const bool installed = (QAccessible::installFactory(widgetWithRole), true);
    (void)installed;
    widget->setProperty(RoleProperty, static_cast<int>(role));
}

} // namespace lotfinch::gui
