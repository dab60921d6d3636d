#include <gtest/gtest.h>

#include "printing/FitToPage.h"

using rdxmon::FitToPage;
using rdxmon::PictureOrientation;

TEST(FitToPage, OrientationFollowsThePictureShape)
{
    EXPECT_EQ(PictureOrientation({900, 600}), QPageLayout::Landscape);
    EXPECT_EQ(PictureOrientation({600, 900}), QPageLayout::Portrait);
    EXPECT_EQ(PictureOrientation({500, 500}), QPageLayout::Portrait);  // square: portrait
}

TEST(FitToPage, WiderPictureFillsTheWidth)
{
    // Picture ratio 1.5 on a printable area of ratio 0.7.
    const QRectF r = FitToPage({1500, 1000}, {7000, 10000});
    EXPECT_EQ(r.topLeft(), QPointF(0, 0));
    EXPECT_DOUBLE_EQ(r.width(), 7000);
    EXPECT_DOUBLE_EQ(r.height(), 7000 / 1.5);
}

TEST(FitToPage, TallerPictureFillsTheHeight)
{
    // Picture ratio 0.5 on a printable area of ratio 0.7.
    const QRectF r = FitToPage({500, 1000}, {7000, 10000});
    EXPECT_EQ(r.topLeft(), QPointF(0, 0));
    EXPECT_DOUBLE_EQ(r.height(), 10000);
    EXPECT_DOUBLE_EQ(r.width(), 10000 * 0.5);
}

TEST(FitToPage, EqualRatiosFillTheWholeAreaAndEmptyInputGivesNothing)
{
    const QRectF r = FitToPage({700, 1000}, {1400, 2000});
    EXPECT_DOUBLE_EQ(r.width(), 1400);
    EXPECT_DOUBLE_EQ(r.height(), 2000);
    EXPECT_TRUE(FitToPage({0, 100}, {1000, 1000}).isEmpty());
    EXPECT_TRUE(FitToPage({100, 100}, {1000, 0}).isEmpty());
}
