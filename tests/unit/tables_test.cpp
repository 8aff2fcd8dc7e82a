// Option cutting of ^config and the context stack.
#include <gtest/gtest.h>

#include "context/context_stack.h"
#include "translate/table_helpers.h"

namespace tvconv {
namespace {

TEST(ConfigOptions, CutsTheFirstTwoOptionsAtSemicolons) {
    auto o = tr::split_config_options("join");
    EXPECT_EQ(o.first, "join");
    EXPECT_FALSE(o.has_second);

    o = tr::split_config_options("join;src;more;rest");
    EXPECT_EQ(o.first, "join");
    EXPECT_TRUE(o.has_second);
    EXPECT_EQ(o.second, "src");

    // A ";" with nothing after it is an empty second option, not a missing one.
    o = tr::split_config_options("join;");
    EXPECT_TRUE(o.has_second);
    EXPECT_EQ(o.second, "");

    o = tr::split_config_options(";x");
    EXPECT_EQ(o.first, "");
    EXPECT_EQ(o.second, "x");
}

TEST(ContextStack, NamesTheInnermostContextOrTheDefaultTable) {
    ContextStack s;
    EXPECT_EQ(s.current_name(), "default_table");
    s.push("a");
    s.push("");
    EXPECT_EQ(s.current_name(), "default_table");
    s.pop();
    EXPECT_EQ(s.current_name(), "a");
    s.pop();
    EXPECT_EQ(s.depth(), 0u);
}

}  // namespace
}  // namespace tvconv
