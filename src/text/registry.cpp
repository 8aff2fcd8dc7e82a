#include "text/registry.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "text/text.h"

namespace tvconv {

bool Registry::known(std::string_view text) const {
    std::string_view prefix = text.substr(0, std::min(text.size(), kCompareBytes));
    auto it = keys_.lower_bound(prefix);
    return it != keys_.end() && it->substr(0, prefix.size()) == prefix;
}

bool Registry::register_helper(std::string_view text) {
    if (known(text)) return false;
    register_always(text);
    return true;
}

void Registry::register_always(std::string_view text) {
    char* copy = store_.allocate(text.size());
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    add(std::string_view(copy, text.size()), {});
}

std::string_view Registry::store_format(const FormatString& fmt,
                                        std::initializer_list<FormatArg> args, TextMarks& marks) {
    char* to = store_.allocate(format_room(fmt, args));
    char* end = format_chars(to, fmt, args, &marks);
    store_.shrink_last(end);
    return std::string_view(to, static_cast<std::size_t>(end - to));
}

bool Registry::register_format(const FormatString& fmt, std::initializer_list<FormatArg> args) {
    TextMarks marks;
    const std::string_view text = store_format(fmt, args, marks);
    if (known(text)) {
        store_.shrink_last(const_cast<char*>(text.data()));
        return false;
    }
    add(text, std::move(marks));
    return true;
}

void Registry::register_format_always(const FormatString& fmt,
                                      std::initializer_list<FormatArg> args) {
    TextMarks marks;
    const std::string_view text = store_format(fmt, args, marks);
    add(text, std::move(marks));
}

void Registry::add(std::string_view text, TextMarks&& marks) {
    keys_.insert(text.substr(0, std::min(text.size(), kCompareBytes)));
    if (!marks.empty()) marks_.push_back({entries_.size(), std::move(marks)});
    entries_.push_back(text);
    // The small blocks of a helper are made on the heap ahead of the
    // document.
    advise_heap_growth();
}

void Registry::clear() {
    for (Known& k : known_) k = {};
    entries_.clear();
    marks_.clear();
    keys_.clear();
    store_.clear();
}

}  // namespace tvconv
