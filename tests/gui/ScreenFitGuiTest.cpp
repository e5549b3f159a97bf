#include <QApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/AboutDialog.h"
#include "gui/FoundItemsDialog.h"
#include "gui/MainWindow.h"
#include "gui/PageSourceDialog.h"
#include "gui/ScreenFit.h"

using namespace lotfinch::gui;

namespace {

// These tests see the screen at 200%, as QApplication starts after this:
// the offscreen platform's screen then offers half its pixels.
const bool doubled = qputenv("QT_SCALE_FACTOR", "2");

// A window that must shrink gives the loss to its list or text; its buttons
// and its status bar stay whole inside it.
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
        c.window->show();
        EXPECT_TRUE(QRect(QPoint(), room).contains(c.window->rect()));
        EXPECT_EQ(c.window->minimumSize(), c.window->maximumSize()) << "still of a fixed size";
        EXPECT_EQ(c.described - c.window->size(), c.stretchDescribed - c.stretch->size());
        for (const QWidget *widget : c.whole)
            EXPECT_TRUE(c.window->rect().contains(widget->geometry()) &&
                        !widget->geometry().intersects(c.stretch->geometry()))
                << widget->objectName().toStdString();
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
        EXPECT_TRUE(source.rect().contains(source.okButton->geometry()));
    }
}

// A window of a fixed size asked to grow (as the title bar that Qt draws on
// Wayland asks) goes back to its size.
TEST(ScreenFit, FixedSizeWindowsRefuseToBeMaximised)
{
    auto *main = new MainWindow; // owns the others
    for (QWidget *window : std::initializer_list<QWidget *>{
             main, new FoundItemsDialog(main, nullptr), new PageSourceDialog(main), new AboutDialog(main, nullptr)}) {
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        const QSize size = window->size();
        for (Qt::WindowState grown : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
            window->setWindowState(grown);
            EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowState() == Qt::WindowNoState; }, 2000));
            EXPECT_EQ(window->size(), size);
        }
        window->hide();
    }
    delete main;
}

} // namespace
