// The prologue registry: helper-method texts written ahead of the document,
// in the order they were first needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"

namespace tvconv {

class Registry {
  public:
    // Adds `text` unless a registered text is equal to it: equal means the
    // first n bytes agree, n being the new text's length or 80, whichever is
    // smaller. A shorter registered text is never equal to a longer new one,
    // while a registered text that merely starts with a short new one is.
    // Returns whether the text was added.
    bool register_helper(std::string_view text);
    // register_helper for a text already made a string, which is kept with
    // its marks (offsets into it); a text not added drops them.
    bool register_owned(std::string&& text, TextMarks&& marks = {});
    // register_helper for a text with static storage, such as a helper
    // method's constant: a text once registered stays registered, so its
    // address answers every later call without a lookup.
    bool register_static(std::string_view text) {
        Known& k = known_[(reinterpret_cast<std::uintptr_t>(text.data()) >> 3) % kKnownSlots];
        if (k.data == text.data() && k.size == text.size()) return false;
        bool added = register_helper(text);
        k = {text.data(), text.size()};
        return added;
    }
    // Adds `text` with no equality test.
    void register_always(std::string_view text);
    // register_always for a text already made a string, which is kept.
    void register_always_owned(std::string&& text, TextMarks&& marks = {});

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const std::vector<std::string>& entries() const { return entries_; }
    void clear();
    // Hands the entries over, in order, and empties the registry.
    std::vector<std::string> take_entries() {
        std::vector<std::string> taken = std::move(entries_);
        clear();
        return taken;
    }
    // The marks of the entries that have any, by entry, in entry order.
    struct EntryMarks {
        std::size_t entry;
        TextMarks marks;
    };
    const std::vector<EntryMarks>& marks() const { return marks_; }

    static constexpr std::size_t kCompareBytes = 80;

  private:
    // Whether a registered text is equal to `text` (see register_helper).
    bool known(std::string_view text) const;
    struct Known {
        const char* data = nullptr;
        std::size_t size = 0;
    };
    static constexpr std::size_t kKnownSlots = 32;
    Known known_[kKnownSlots];
    std::vector<std::string> entries_;
    std::vector<EntryMarks> marks_;
    // The first min(length, 80) bytes of every entry, sorted. A registered
    // text is equal to a new one of prefix p exactly when some key starts
    // with p, and the keys that start with p sort right from p onwards, so
    // one ordered lookup decides equality without scanning the entries.
    std::set<std::string, std::less<>> keys_;
};

}  // namespace tvconv
