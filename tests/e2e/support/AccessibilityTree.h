#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// What a screen reader learns about the program from the desktop's
// accessibility bus (AT-SPI), read the way screen readers read it (through
// pyatspi, by the atspi-tree script next to this file).
namespace lotfinch::e2e {

struct AccessibleNode
{
    QString role; // as AT-SPI names it: "frame", "push button", "combo box"...
    QString name;
    QString description;
    QStringList labelledBy; // the names of the labels it is labelled by
    QStringList states;     // of "focused", "selected", "showing"
    std::vector<AccessibleNode> children;
};

// Starts the accessibility bus on the session bus (programs start talking
// to it only when it is there); false if it cannot be started.
bool startAccessibilityBus();

// The windows that process pid shows on the accessibility bus; empty while
// it has none there.
std::vector<AccessibleNode> accessibleWindows(qint64 pid);

// The first node, depth first, that matches; nullptr if none does.
const AccessibleNode *findNode(const std::vector<AccessibleNode> &nodes,
                               const std::function<bool(const AccessibleNode &)> &match);

// One line per node, indented by depth: for failure messages.
QString describeTree(const std::vector<AccessibleNode> &nodes);

} // namespace lotfinch::e2e
