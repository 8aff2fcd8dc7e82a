#include "text/registry.h"

#include <algorithm>
#include <utility>

#include "text/text.h"

namespace tvconv {

bool Registry::known(std::string_view text) const {
    std::string_view prefix = text.substr(0, std::min(text.size(), kCompareBytes));
    auto it = keys_.lower_bound(prefix);
    return it != keys_.end() && std::string_view(*it).substr(0, prefix.size()) == prefix;
}

bool Registry::register_helper(std::string_view text) {
    if (known(text)) return false;
    register_always(text);
    return true;
}

bool Registry::register_owned(std::string&& text, TextMarks&& marks) {
    if (known(text)) return false;
    register_always_owned(std::move(text), std::move(marks));
    return true;
}

void Registry::register_always(std::string_view text) {
    register_always_owned(std::string(text));
}

void Registry::register_always_owned(std::string&& text, TextMarks&& marks) {
    keys_.emplace(std::string_view(text).substr(0, std::min(text.size(), kCompareBytes)));
    if (!marks.empty()) marks_.push_back({entries_.size(), std::move(marks)});
    entries_.push_back(std::move(text));
    // A helper's text is made on the heap ahead of the document.
    advise_heap_growth();
}

void Registry::clear() {
    for (Known& k : known_) k = {};
    entries_.clear();
    marks_.clear();
    keys_.clear();
}

}  // namespace tvconv
