// The prologue registry: helper-method texts written ahead of the document,
// in the order they were first needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <set>
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
    // Returns whether the text was added. The registry keeps a copy.
    bool register_helper(std::string_view text);
    // register_helper for the text of a `format` (see format_chars), written
    // straight into the registry's storage: a helper made of a definition
    // can be most of a page. The marks of the text arguments are kept with
    // it, as offsets into it; a text not added drops them.
    bool register_format(const FormatString& fmt, std::initializer_list<FormatArg> args);
    // register_helper for a text with static storage, such as a helper
    // method's constant, which is kept without a copy: a text once
    // registered stays registered, so its address answers every later call
    // without a lookup.
    bool register_static(std::string_view text) {
        Known& k = known_[(reinterpret_cast<std::uintptr_t>(text.data()) >> 3) % kKnownSlots];
        if (k.data == text.data() && k.size == text.size()) return false;
        bool added = !known(text);
        if (added) add(text, {});
        k = {text.data(), text.size()};
        return added;
    }
    // Adds `text` with no equality test.
    void register_always(std::string_view text);
    // register_format with no equality test.
    void register_format_always(const FormatString& fmt, std::initializer_list<FormatArg> args);

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // Views into the registry's storage (or static storage), good until it
    // is cleared or its entries are taken.
    const std::vector<std::string_view>& entries() const { return entries_; }
    void clear();
    // Hands the entries over, in order, with the storage they view, and
    // empties the registry.
    struct Entries {
        std::vector<std::string_view> texts;
        ByteStore bytes;
    };
    Entries take_entries() {
        Entries taken{std::move(entries_), std::move(store_)};
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
    // Adds `text`, which lives as long as the registry's storage.
    void add(std::string_view text, TextMarks&& marks);
    // Formats into the storage; the caller adds the text or gives it back.
    std::string_view store_format(const FormatString& fmt, std::initializer_list<FormatArg> args,
                                  TextMarks& marks);
    struct Known {
        const char* data = nullptr;
        std::size_t size = 0;
    };
    static constexpr std::size_t kKnownSlots = 32;
    Known known_[kKnownSlots];
    std::vector<std::string_view> entries_;
    std::vector<EntryMarks> marks_;
    ByteStore store_;
    // The first min(length, 80) bytes of every entry, sorted. A registered
    // text is equal to a new one of prefix p exactly when some key starts
    // with p, and the keys that start with p sort right from p onwards, so
    // one ordered lookup decides equality without scanning the entries.
    std::set<std::string_view> keys_;
};

}  // namespace tvconv
