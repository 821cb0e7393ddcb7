#include "draw/Resources.h"
#include "res/Resource.h"
#include "ui/UiResources.h"

#include "tests/ui/UiTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

class Resources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        EnsureUiResources();
    }
};

TEST_F(Resources, TrayIconHoldsOneSixteenPixelImage)
{
    const QIcon icon = LoadIconResource(IDI_TRAY);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(16, 16)});
    const QImage image = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(8, 8)), 255);
}

TEST_F(Resources, ProgramIconHoldsLargeAndSmallImages)
{
    const QIcon icon = LoadIconResource(IDR_MAINFRAME);
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));

    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(PictureDir())));
    const QString dir = QString::fromStdString(PictureDir());
    EXPECT_TRUE(icon.pixmap(32, 32).toImage().scaled(128, 128).save(dir + "/icon-128-x4.png"));
    EXPECT_TRUE(LoadIconResource(IDI_TRAY).pixmap(16, 16).toImage().scaled(64, 64).save(
        dir + "/icon-157-x4.png"));
}

TEST_F(Resources, MissingIconIsNull)
{
    EXPECT_TRUE(LoadIconResource(4242).isNull());
}

} // namespace
