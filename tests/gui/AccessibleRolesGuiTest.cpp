#include <gtest/gtest.h>

#include <QAccessible>
#include <QPlainTextEdit>

#include "gui/AboutDialog.h"
#include "gui/PageSourceDialog.h"
#include "gui/PictureWidgets.h"
#include "gui/ProgressPopup.h"

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
