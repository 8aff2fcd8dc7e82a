// The constructions that text runs convert whole (see ConstructionWriter in
// lexer/text_run.h): ^item and ^var with one argument, the commonest of all
// in page templates.
#pragma once

#include <string_view>

#include "lexer/text_run.h"

namespace tvconv {

class Conversion;

// Takes the keywords whose rule is the only one of theirs to end after one
// argument, and whose action only puts the argument's text in a frame:
// ^item[a] is "^item[$" CONTEXT ";" a "]", registering the ^item helper, and
// ^var[a] is "${" a "}" (tr::item_1 and tr::var_1, which the differential
// tests hold this to). The frame is written straight behind the text, with
// no value of its own.
class RunConstructions final : public ConstructionWriter {
  public:
    explicit RunConstructions(Conversion& cv) : cv_(cv) {}

    bool takes(int token) const override;
    void write(int token, std::string_view argument, Text& into) override;

  private:
    Conversion& cv_;
};

}  // namespace tvconv
