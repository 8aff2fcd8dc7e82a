// The month-name tables of the date helper method.
#include <gtest/gtest.h>

#include <string>

#include "support.h"

namespace {

using tvconv::test::convert_text;

// %B reads the long table and %b the short one: June must be spelled out in
// the first and abbreviated in the second.
TEST(OldDateHelper, JuneIsLongInTheLongTableAndShortInTheShortOne) {
    std::string out = convert_text("^date[%B %b]");
    EXPECT_NE(out.find("$unused_mnl[$.1[January]$.2[February]$.3[March]$.4[April]$.5[May]$.6["
                       "June]$.7[July]"),
              std::string::npos);
    EXPECT_NE(out.find("$unused_mns[$.1[Jan]$.2[Feb]$.3[Mar]$.4[Apr]$.5[May]$.6[Jun]$.7[Jul]"),
              std::string::npos);
}

}  // namespace
