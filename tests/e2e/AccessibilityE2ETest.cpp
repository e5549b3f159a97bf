#include <gtest/gtest.h>

#include <QRegularExpression>

#include "support/AccessibilityTree.h"
#include "support/Desktop.h"
#include "support/FixtureSite.h"
#include "support/LotfinchProgram.h"
#include "support/SessionBus.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::FixtureSite;
using lotfinch::test::waitUntil;

namespace {

// What a screen reader must find: a node of role whose name and description
// match the patterns, labelled first by the label when one is given.
struct Expected
{
    QString role;
    QString name;
    QString description = ".*";
    QString label = QString();
};

QString exactly(const QString &text)
{
    return QRegularExpression::escape(text);
}

bool matches(const AccessibleNode &node, const Expected &expected)
{
    auto whole = [](const QString &pattern, const QString &text) {
        return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
    };
    return node.role == expected.role && whole(expected.name, node.name) &&
           whole(expected.description, node.description) &&
           (expected.label.isNull() || node.labelledBy.value(0) == expected.label);
}

// Controls a listener meets: each must say what it is.
bool unnamedControl(const AccessibleNode &node)
{
    static const QStringList controls{"push button", "combo box", "text", "list", "list item", "label", "menu item"};
    return controls.contains(node.role) && node.states.contains("showing") && node.name.trimmed().isEmpty();
}

// The program as a screen reader's user meets it: the desktop's accessibility
// bus is up before it starts, and Qt's bridge to it is on.
class ScreenReader : public testing::Test
{
protected:
    static void SetUpTestSuite() { busStarted = startAccessibilityBus(); }

    void SetUp() override
    {
        ASSERT_TRUE(busStarted) << "the session bus starts the accessibility bus (at-spi2-core)";
        ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
        ASSERT_TRUE(program.started()) << "LOTFINCH_PROGRAM names the program under test";
        ASSERT_NE(program.waitForMainWindow(), 0u) << program.output().toStdString();
    }

    // Whether a node of the program's tree comes to match; a failure shows the tree.
    testing::AssertionResult showsNode(const std::function<bool(const AccessibleNode &)> &match)
    {
        std::vector<AccessibleNode> tree;
        if (waitUntil([&] { return findNode(tree = accessibleWindows(pid), match) != nullptr; }, 30000))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << describeTree(tree).toStdString();
    }

    // Checks that the window holds every expected node, and no unnamed control.
    void expectWindow(const Expected &window, const std::vector<Expected> &nodes)
    {
        auto isWindow = [&](const AccessibleNode &node) { return matches(node, window); };
        ASSERT_TRUE(showsNode(isWindow)) << window.name.toStdString();
        const std::vector<AccessibleNode> tree = accessibleWindows(pid);
        const AccessibleNode *found = findNode(tree, isWindow);
        ASSERT_NE(found, nullptr) << describeTree(tree).toStdString();
        const std::vector<AccessibleNode> inside{*found};
        for (const Expected &expected : nodes)
            EXPECT_TRUE(findNode(inside, [&](const AccessibleNode &node) { return matches(node, expected); }))
                << "[" << expected.role.toStdString() << "] " << expected.name.toStdString() << " "
                << expected.description.toStdString() << "\n"
                << describeTree(inside).toStdString();
        const AccessibleNode *unnamed = findNode(inside, unnamedControl);
        EXPECT_EQ(unnamed, nullptr) << "a " << (unnamed ? unnamed->role.toStdString() : "") << " without a name\n"
                                    << describeTree(inside).toStdString();
    }

    // Opens the list's menu with key and picks its entries by their mnemonics.
    void copyThroughListMenu(const QString &key, const QString &entry)
    {
        const std::vector<WindowId> before = otherWindows(pid);
        pressKey(key);
        ASSERT_TRUE(waitUntil([&] { return otherWindows(pid, before).size() == 1; })) << "the list's menu opens";
        pressKey("c");
        ASSERT_TRUE(waitUntil([&] { return otherWindows(pid, before).size() == 2; })) << "its submenu opens";
        pressKey(entry);
        ASSERT_TRUE(waitUntil([&] { return otherWindows(pid, before).empty(); }));
    }

    static inline bool busStarted = false;
    FixtureSite site;
    LotfinchProgram program{site.proxyUrl(), {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}, {"NO_AT_BRIDGE", ""}}};
    const qint64 pid = program.pid();
};

} // namespace

// A blind user searches, brings the window back from the tray, opens the found
// items, copies the newest one's address and item number and closes it all:
// from the keyboard alone, with what the accessibility bus tells them.
TEST_F(ScreenReader, HearsEveryControlAndDoesTheWholeJobFromTheKeyboard)
{
    const QString phrase = "digital camera";
    // Keys go out only once the control they are meant for has the focus.
    auto focused = [](const QString &role, const QString &name) {
        return [=](const AccessibleNode &node) {
            return node.states.contains("focused") && (role.isEmpty() || (node.role == role && node.name == name));
        };
    };
    ASSERT_TRUE(showsNode([](const AccessibleNode &node) {
        return node.states.contains("focused") && node.labelledBy.value(0) == "Site Name:";
    })) << "the site box has the focus first";
    pressKey("Tab");
    pressKey("Tab");
    ASSERT_TRUE(showsNode(focused("text", "Look For"))) << "the phrase box has it after two tabs";
    typeText(phrase);
    ASSERT_TRUE(showsNode([&](const AccessibleNode &node) {
        return matches(node, {"push button", "Start", exactly("Start searching for \"" + phrase + "\"...")});
    }));
    pressKey("alt+s");

    // The window went to the tray; the tray host brings it back.
    QString item;
    ASSERT_TRUE(waitUntil([&] { return !(item = statusNotifierItemOf(pid)).isEmpty(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return statusNotifierToolTip(item).startsWith("FOUND"); }, 60000))
        << program.output().toStdString();
    ASSERT_TRUE(activateStatusNotifierItem(item));
    ASSERT_TRUE(waitUntil([&] { return !visibleWindows(pid, LotfinchProgram::MainTitle).empty(); }));
    screenshot("main-window");
    ASSERT_TRUE(showsNode(focused("text", "Look For"))) << "the restored window has the keyboard";

    expectWindow(
        {"frame", exactly("Lotfinch Lite 2.0")},
        {
            {"combo box", exactly("ebay.com (US)"), ".*", "Site Name:"},
            {"combo box", exactly(phrase), ".*", "Look For:"},
            {"text", exactly("Look For")},
            {"combo box", exactly("Once Per Day (24 Hours)"), ".*", "Repeat Search: "},
            {"push button", "Start", exactly("Start searching for \"" + phrase + "\"...")},
            {"push button", exactly("Auctions..."), exactly("View all matches found for \"" + phrase + "\"...")},
            {"push button", "Exit", "Stop all searching and close the Lotfinch software"},
        });

    pressKey("alt+a");
    ASSERT_TRUE(showsNode(focused("list", "Links to found items")));
    pressKey("Down");
    const QString found =
        "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d  Samsung ES80 12\\.2MP Digital Camera \\(Pink\\)\\s*";
    const QString newest = "https://www\\.ebay\\.com/itm/2312401111";
    expectWindow({"dialog", exactly("ebay.com (US) Links Matching: \"" + phrase + "\" ")},
                 {
                     {"list", "Links to found items"},
                     {"list item", newest, found},
                     {"push button", "View Auction", "Open the selected auction in the default browser"},
                     {"push button", "Close", "Close the auctions links"},
                     {"label", "Most recent auction listing found: " + found},
                     {"label", "\\d+ Items Found"},
                 });
    screenshot("found-items");

    // What the listener heard as the selected entry is what gets copied.
    const std::vector<AccessibleNode> tree = accessibleWindows(pid);
    const AccessibleNode *selected = findNode(
        tree, [](const AccessibleNode &node) { return node.role == "list item" && node.states.contains("selected"); });
    ASSERT_NE(selected, nullptr) << describeTree(tree).toStdString();
    const QString link = selected->name;
    const QString number = QRegularExpression("/itm/(\\d+)$").match(link).captured(1);
    ASSERT_FALSE(number.isEmpty()) << link.toStdString();
    ASSERT_NO_FATAL_FAILURE(copyThroughListMenu("Menu", "u"));
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == link; })) << clipboardText().toStdString();
    ASSERT_NO_FATAL_FAILURE(copyThroughListMenu("shift+F10", "n"));
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == number; })) << clipboardText().toStdString();

    // Every window closes with the keys its buttons show.
    pressKey("alt+c");
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(pid, "Links Matching").empty(); }));
    ASSERT_TRUE(showsNode(focused("", ""))) << "the main window has the keyboard again";
    pressKey("alt+x");
    expectWindow({"alert", "CLOSE APPLICATION"}, {
                                                     {"label", exactly("All search crawling will stop when closed.")},
                                                     {"image", "Warning"},
                                                     {"push button", "OK"},
                                                     {"push button", "Cancel"},
                                                 });
    pressKey("Return");
    EXPECT_TRUE(program.waitForEnd(20000)) << program.output().toStdString();
}
