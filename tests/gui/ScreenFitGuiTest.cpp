#include <QApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <gtest/gtest.h>

#include "gui/FoundItemsDialog.h"
#include "gui/PageSourceDialog.h"
#include "gui/ScreenFit.h"

using namespace lotfinch::gui;

namespace {

// These tests see the screen at 200%, as QApplication starts after this:
// the offscreen platform's screen then offers half its pixels.
const bool doubled = qputenv("QT_SCALE_FACTOR", "2");

// A window that must shrink gives the loss to its list or text; its buttons
// and its status bar keep their sizes and stay inside it.
TEST(ScreenFit, WindowsLargerThanTheScreenShrinkTheirListAndKeepTheirButtonsWhole)
{
    ASSERT_TRUE(doubled);
    const QSize room = QApplication::primaryScreen()->availableGeometry().size();
    ASSERT_LT(room.height(), 508) << "the screen at 200% is smaller than the windows";
    QWidget owner;
    FoundItemsDialog links(&owner, nullptr);
    links.countLabel->setText("8 Items Found");
    PageSourceDialog source(&owner);
    struct Case
    {
        QDialog *window;
        QSize described;
        QWidget *stretch;
        QSize stretchDescribed;
        std::vector<QWidget *> whole;
    };
    const Case cases[] = {
        {&links, {465, 523}, links.itemList, {451, 457}, {links.viewButton, links.closeButton}},
        {&source, {488, 508}, source.sourceText, {488, 467}, {source.okButton}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.window->objectName().toStdString());
        std::vector<QSize> sizes;
        for (QWidget *widget : c.whole)
            sizes.push_back(widget->size());
        c.window->show();
        EXPECT_LE(c.window->width(), room.width());
        EXPECT_LE(c.window->height(), room.height());
        EXPECT_EQ(c.window->minimumSize(), c.window->maximumSize()) << "still of a fixed size";
        EXPECT_EQ(c.described - c.window->size(), c.stretchDescribed - c.stretch->size());
        for (size_t i = 0; i < c.whole.size(); ++i) {
            QWidget *widget = c.whole[i];
            SCOPED_TRACE(widget->objectName().toStdString());
            EXPECT_EQ(widget->size(), sizes[i]);
            const QRect inWindow(widget->mapTo(c.window, QPoint(0, 0)), widget->size());
            EXPECT_TRUE(c.window->rect().contains(inWindow)) << inWindow.x() << "," << inWindow.y();
            EXPECT_FALSE(inWindow.intersects(c.stretch->geometry()));
        }
        c.window->hide();
    }
    EXPECT_EQ(links.statusBar->geometry(), QRect(0, links.height() - 19, links.width(), 19));
    EXPECT_EQ(links.countLabel->QLabel::text(), "8 Items Found");
}

// Where the window fits it keeps its size; where nothing can go without
// cutting a button, it keeps what it needs for that.
TEST(ScreenFit, AWindowKeepsItsSizeWhereItFitsAndItsButtonsWhereItCannot)
{
    struct Case
    {
        QSize room;
        QSize size;
    };
    const Case cases[] = {
        {{800, 600}, {488, 508}}, {{488, 508}, {488, 508}},
        {{400, 300}, {400, 300}}, {{50, 600}, {76, 508}}, // the OK button keeps the width it needs
        {{100, 10}, {100, 111}},                          // the text box keeps its least height
    };
    for (const Case &c : cases) {
        PageSourceDialog source(nullptr);
        FitIntoRoom(&source, source.sourceText, c.room);
        EXPECT_EQ(source.size(), c.size) << c.room.width() << "x" << c.room.height();
        EXPECT_EQ(source.okButton->size(), QSize(75, 25));
        EXPECT_EQ(source.okButton->y(), source.sourceText->height() + 11);
        EXPECT_TRUE(source.rect().contains(source.okButton->geometry()));
    }
}

} // namespace
