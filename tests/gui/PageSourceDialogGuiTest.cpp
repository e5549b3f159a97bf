#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui/PageSourceDialog.h"

using lotfinch::gui::PageSourceDialog;
using lotfinch::text::LineText;

TEST(PageSource, ShowsTheLinesReadOnlyAndUnwrapped)
{
    struct Case
    {
        std::string text;
        QString shown;
        int lines;
    };
    const Case cases[] = {
        {"", "", 1},
        {"<html>\r\n\n<a href=\"x\">caf\xE9</a>", QString::fromUtf8("<html>\n\n<a href=\"x\">café</a>"), 3},
        {"\r\n", "", 1},
        {std::string(5000, 'z'), QString(5000, 'z'), 1},
    };
    QWidget owner;
    for (const Case &c : cases) {
        LineText lines;
        lines.setText(c.text);
        PageSourceDialog form(&owner);
        form.SetLines(lines);
        EXPECT_EQ(form.sourceText->toPlainText(), c.shown);
        EXPECT_EQ(form.sourceText->document()->blockCount(), c.lines);
    }

    PageSourceDialog form(&owner);
    EXPECT_EQ(form.windowTitle(), "Page Source");
    EXPECT_EQ(form.size(), QSize(488, 508));
    EXPECT_TRUE(form.sourceText->isReadOnly());
    EXPECT_EQ(form.sourceText->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form.sourceText->geometry(), QRect(0, 0, 488, 467));
    EXPECT_EQ(form.okButton->text(), "OK");
    EXPECT_TRUE(form.okButton->isDefault());
}

TEST(PageSource, OkClosesWithTheOkResultAndEscCloses)
{
    QWidget owner;
    PageSourceDialog form(&owner);
    LineText lines;
    lines.setText("line");
    form.SetLines(lines);
    form.show();
    form.okButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    // Esc closes it from its text too.
    form.show();
    QTest::keyClick(form.sourceText, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}
