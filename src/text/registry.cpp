#include "text/registry.h"

#include <algorithm>

namespace tvconv {

bool Registry::register_helper(std::string_view text) {
    std::string_view prefix = text.substr(0, std::min(text.size(), kCompareBytes));
    auto it = keys_.lower_bound(prefix);
    if (it != keys_.end() && std::string_view(*it).substr(0, prefix.size()) == prefix) {
        return false;
    }
    register_always(text);
    return true;
}

void Registry::register_always(std::string_view text) {
    entries_.emplace_back(text);
    keys_.emplace(text.substr(0, std::min(text.size(), kCompareBytes)));
}

void Registry::clear() {
    for (Known& k : known_) k = {};
    entries_.clear();
    keys_.clear();
}

}  // namespace tvconv
