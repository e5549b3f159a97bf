#include <gtest/gtest.h>

#include <QAccessible>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "gui/AboutDialog.h"
#include "gui/FoundItemsDialog.h"
#include "gui/PageSourceDialog.h"
#include "gui/PictureWidgets.h"
#include "gui/ProgressPopup.h"
#include "gui/UrlLabel.h"

using namespace lotfinch::gui;

// The popup, which Qt would report as a filler named by its unseen caption,
// and the pictures tell a screen reader what they are.
TEST(AccessibleRoles, WindowsAndPicturesReportWhatTheyAre)
{
    QWidget owner;
    ProgressPopup popup(&owner);
    popup.ShowStatus(0, "Crawling ebay.com (US) for \"lens\"", false);
    AboutDialog about(&owner, nullptr);
    PageSourceDialog source(&owner);
    struct Case
    {
        QObject *object;
        QAccessible::Role role;
        QString name;
    } cases[] = {
        {&popup, QAccessible::Notification, "Crawling ebay.com (US) for \"lens\""},
        {about.picture, QAccessible::Graphic, "Lotfinch picture"},
        {about.programIcon, QAccessible::Graphic, "Lotfinch program icon"},
        {source.sourceText, QAccessible::EditableText, "Page source"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.object->objectName().toStdString());
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(c.object);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), c.role);
        EXPECT_EQ(accessible->text(QAccessible::Name), c.name);
    }
}

namespace {

QString accessibleName(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

// The names a screen reader meets in the accessible's tree.
QStringList namesIn(QAccessibleInterface *accessible)
{
    QStringList names{accessible->text(QAccessible::Name)};
    for (int i = 0; i < accessible->childCount(); ++i)
        names += namesIn(accessible->child(i));
    return names;
}

} // namespace

// Decoration tells nothing twice, the parts that hold texts are named, and a
// label that never shows has nothing to read.
TEST(AccessibleRoles, ScreenReadersHearEachThingOnce)
{
    QWidget owner;
    AboutDialog about(&owner, nullptr);
    EXPECT_EQ(namesIn(QAccessible::queryAccessibleInterface(&about)).count("Lotfinch Desktop"), 1);

    FoundItemsDialog links(&owner, nullptr);
    links.urlLabel->SetURL("http://www.ebay.com/itm/A/1?x");
    EXPECT_EQ(accessibleName(links.statusBar), "Status");
    EXPECT_EQ(accessibleName(links.urlLabel), "");
}
