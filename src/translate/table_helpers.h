// Helper methods and option parsing shared by the table constructions.
#pragma once

#include <string_view>

namespace tvconv::tr {

// Helper-method texts registered by ^item (and ^sort), ^item[a;x] and ^table.
extern const std::string_view kItemHelper;
extern const std::string_view kItemExtHelper;
extern const std::string_view kOldTableHelper;

// The first two options of ^config[o1;o2;...;body], cut at ";".
struct ConfigOptions {
    std::string_view first;
    bool has_second = false;  // the options hold a ";"
    std::string_view second;
};
ConfigOptions split_config_options(std::string_view options);

}  // namespace tvconv::tr
