#include <gtest/gtest.h>

#include <cmath>

#include "startup/Lenient.h"

namespace rdxmon {
namespace {

TEST(Lenient, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(lenientNumber(u"  12.5-02"), 12.5);
    EXPECT_DOUBLE_EQ(lenientNumber(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u""), 0.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"1E3"), 1000.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"2.5e-1x"), 0.25);
    EXPECT_DOUBLE_EQ(lenientNumber(u"-"), 0.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"1E"), 1.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"1E+"), 1.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"\t -3.75 "), -3.75);
    EXPECT_DOUBLE_EQ(lenientNumber(u"+.5"), 0.5);
    EXPECT_DOUBLE_EQ(lenientNumber(u"7."), 7.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"."), 0.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"1 2"), 1.0);
    EXPECT_DOUBLE_EQ(lenientNumber(u"1E-999"), 0.0);
    EXPECT_TRUE(std::isinf(lenientNumber(u"1E999")));
    EXPECT_DOUBLE_EQ(lenientNumber(std::string("   -0012.50   ")), -12.5);
    EXPECT_DOUBLE_EQ(lenientNumber(u"\u00BD1"), 0.0);  // no digits of other scripts
}

TEST(Lenient, WholePartAndTwoDigitFormat)
{
    EXPECT_EQ(lenientInt(u" 1"), 1);
    EXPECT_EQ(lenientInt(u"12"), 12);
    EXPECT_EQ(lenientInt(u"3x"), 3);
    EXPECT_EQ(lenientInt(u"3.9"), 3);
    EXPECT_EQ(lenientInt(u"-2.9"), -2);
    EXPECT_EQ(lenientInt(u"xx"), 0);
    EXPECT_EQ(lenientInt(u"1E12"), 2147483647);

    EXPECT_EQ(format00(1), "01");
    EXPECT_EQ(format00(0), "00");
    EXPECT_EQ(format00(12), "12");
    EXPECT_EQ(format00(123), "123");
    EXPECT_EQ(format00(-1), "-01");
    EXPECT_EQ(format00(-32768), "-32768");
}

}  // namespace
}  // namespace rdxmon
