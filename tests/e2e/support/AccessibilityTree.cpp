#include "support/AccessibilityTree.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/Desktop.h"

namespace lotfinch::e2e {

namespace {

AccessibleNode nodeOf(const QJsonObject &object)
{
    AccessibleNode node{
        object["role"].toString(), object["name"].toString(), object["description"].toString(), {}, {}, {}};
    for (const QJsonValue &label : object["labelledBy"].toArray())
        node.labelledBy.append(label.toString());
    for (const QJsonValue &state : object["states"].toArray())
        node.states.append(state.toString());
    for (const QJsonValue &child : object["children"].toArray())
        node.children.push_back(nodeOf(child.toObject()));
    return node;
}

void describe(const AccessibleNode &node, int depth, QString &out)
{
    out += QString(2 * depth, ' ') + "[" + node.role + "] '" + node.name + "'";
    if (!node.description.isEmpty())
        out += " desc='" + node.description + "'";
    if (!node.labelledBy.isEmpty())
        out += " labelled-by='" + node.labelledBy.join("', '") + "'";
    out += '\n';
    for (const AccessibleNode &child : node.children)
        describe(child, depth + 1, out);
}

} // namespace

bool startAccessibilityBus()
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 15000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().value(0).toString().isEmpty();
}

std::vector<AccessibleNode> accessibleWindows(qint64 pid)
{
    // Debian's python3-pyatspi is there for the system's own python3.
    const QString reader = QString(LOTFINCH_E2E_SUPPORT_DIR) + "/atspi-tree";
    const QJsonArray windows =
        QJsonDocument::fromJson(runTool("/usr/bin/python3", {reader, QString::number(pid)}).toUtf8()).array();
    std::vector<AccessibleNode> nodes;
    for (const QJsonValue &window : windows)
        nodes.push_back(nodeOf(window.toObject()));
    return nodes;
}

const AccessibleNode *findNode(const std::vector<AccessibleNode> &nodes,
                               const std::function<bool(const AccessibleNode &)> &match)
{
    for (const AccessibleNode &node : nodes) {
        if (match(node))
            return &node;
        if (const AccessibleNode *found = findNode(node.children, match))
            return found;
    }
    return nullptr;
}

QString describeTree(const std::vector<AccessibleNode> &nodes)
{
    QString out;
    for (const AccessibleNode &node : nodes)
        describe(node, 0, out);
    return out;
}

} // namespace lotfinch::e2e
