// The context stack: names of the tables opened by ^context (and the fixed
// name inside ^match). Table constructions name the innermost one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvconv {

class ContextStack {
  public:
    static constexpr std::string_view kDefaultName = "default_table";

    // An empty name opens the default table.
    void push(std::string_view name) { names_.emplace_back(name.empty() ? kDefaultName : name); }
    void pop() {
        if (!names_.empty()) names_.pop_back();
    }
    std::string_view current_name() const {
        return names_.empty() ? kDefaultName : std::string_view(names_.back());
    }
    std::size_t depth() const { return names_.size(); }

  private:
    std::vector<std::string> names_;
};

}  // namespace tvconv
