#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "core/VersionInfo.h"
#include "desktop/ImageList.h"
#include "gui/AboutDialog.h"
#include "gui/PictureWidgets.h"
#include "gui/SplashScreen.h"
#include "platform/JpegImage.h"

using namespace lotfinch;
using namespace lotfinch::gui;

namespace {

QByteArray resourceBytes(const char *name)
{
    LoadPicture(Picture::Logo); // registers the pictures
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

} // namespace

TEST(Pictures, TheJpegPicturesDecodeAtTheirSizesAndBadDataGivesNoPicture)
{
    EXPECT_EQ(LoadPicture(Picture::Splash).size(), QSize(240, 239));
    EXPECT_EQ(LoadPicture(Picture::Logo).size(), QSize(216, 83));
    EXPECT_EQ(LoadPicture(Picture::About).size(), QSize(346, 347));

    const QByteArray logo = resourceBytes(":/pictures/logo.jpg");
    ASSERT_FALSE(logo.isEmpty());
    // The frame header's height and width, after its marker, length and precision.
    const qsizetype frame = logo.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    QByteArray huge = logo;
    huge.replace(frame + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
    for (const QByteArray &bad : {QByteArray(), QByteArray("not a picture"), logo.left(20), huge})
        EXPECT_TRUE(platform::DecodeJpeg(view(bad)).isNull()) << bad.size();
}

TEST(Splash, ShowsTheBuildNumberOfTheProgramFileAndTheLogoUnscaled)
{
    QWidget owner;
    SplashScreen splash(&owner);
    EXPECT_EQ(splash.buildLabel->text(), "Build 2.0.1");
    EXPECT_EQ(splash.versionInfo->FileName(), QCoreApplication::applicationFilePath());

    splash.show();
    EXPECT_EQ(splash.buildLabel->text(), "Build 2.0.1.28");
    // The logo is drawn at its own size from its box's top-left corner.
    const QImage shown = splash.grab().toImage();
    const QImage logo = LoadPicture(Picture::Logo);
    int differing = 0;
    for (int x = 0; x < 216; x += 8)
        differing += qAbs(qGray(shown.pixel(171 + x, 18 + 40)) - qGray(logo.pixel(x, 40))) > 40;
    EXPECT_LT(differing, 3);
}

// The area of the widget's pixels whose gray level matches.
QRect drawnArea(QWidget *widget, const std::function<bool(int gray)> &match)
{
    const QImage image = widget->grab().toImage();
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(qGray(image.pixel(x, y))))
                area |= QRect(x, y, 1, 1);
    return area;
}

TEST(About, IsAFixedModalWindowThatOkAndEnterClose)
{
    QWidget owner;
    desktop::ImageList images;
    for (int i = 0; i < 10; ++i) {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor(i * 20, 0, 0));
        images.add(QIcon(pixmap));
    }
    for (bool byEnter : {false, true}) {
        AboutDialog box(&owner, &images);
        EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(box.windowFlags() & Qt::WindowSystemMenuHint);
        EXPECT_EQ(box.picture->PictureImage().size(), QSize(346, 347));
        // The title's shadow lies 1 pixel right of and 3 below the title, which covers it.
        const QRect text = drawnArea(box.title, [](int gray) { return gray < 100; });
        const QRect drawn = drawnArea(box.title, [&](int gray) {
            return qAbs(gray - qGray(box.title->palette().color(QPalette::Window).rgb())) > 10;
        });
        // (Give or take the pixel that smoothing adds at the edges.)
        EXPECT_NEAR(drawn.left() - text.left(), 0, 1);
        EXPECT_NEAR(drawn.top() - text.top(), 0, 1);
        EXPECT_NEAR(drawn.right() - text.right(), 1, 1);
        EXPECT_NEAR(drawn.bottom() - text.bottom(), 3, 1);

        QTimer::singleShot(0, [&] {
            if (byEnter)
                QTest::keyClick(&box, Qt::Key_Return);
            else
                box.okButton->click();
        });
        EXPECT_EQ(box.exec(), QDialog::Accepted);
        EXPECT_EQ(QApplication::windowIcon().cacheKey(), images.icon(7).cacheKey())
            << "entry iconIndex (7) while it shows";
    }
}
