#include "windows/AccessibleRoles.h"

#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace lotfinch::windows {

namespace {

constexpr const char *RoleProperty = "lotfinchAccessibleRole";
constexpr const char *DecorativeProperty = "lotfinchDecorative";

class RoleInterface : public QAccessibleWidget
{
public:
    RoleInterface(QWidget *widget, QAccessible::Role role, bool decorative)
        : QAccessibleWidget(widget, role), decorative_(decorative)
    {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (decorative_)
            state.invisible = true;
        return state;
    }

private:
    bool decorative_;
};

// Asked first for every class of an object, most derived first: it answers
// only for widgets marked above and leaves all others to Qt.
QAccessibleInterface *markedWidget(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(RoleProperty);
    const bool decorative = object->property(DecorativeProperty).toBool();
    if (!role.isValid() && !decorative)
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    return new RoleInterface(
        widget, role.isValid() ? static_cast<QAccessible::Role>(role.toInt()) : QAccessible::Client, decorative);
}

void installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(markedWidget);
        return true;
    }();
    (void)installed;
}

} // namespace

void SetAccessibleRole(QWidget *widget, QAccessible::Role role)
{
    installFactory();
    widget->setProperty(RoleProperty, static_cast<int>(role));
}

void SetDecorative(QWidget *widget)
{
    installFactory();
    widget->setProperty(DecorativeProperty, true);
}

} // namespace lotfinch::windows
