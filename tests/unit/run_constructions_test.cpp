// The constructions converted inside text runs give exactly what their rule's
// action gives, behind text already held, in every context.
#include "grammar/run_constructions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "context/conversion.h"
#include "grammar/parser.h"
#include "translate/translate.h"

namespace tvconv {
namespace {

struct Converted {
    std::string text;
    std::vector<std::string> helpers;
};

std::vector<std::string> helpers_of(const Conversion& cv) {
    return {cv.registry.entries().begin(), cv.registry.entries().end()};
}

Converted by_writer(int token, const std::string& context, const std::string& argument) {
    Conversion cv(nullptr);
    if (!context.empty()) cv.contexts.push(context);
    Text* into = cv.make("before ");
    RunConstructions(cv).write(token, argument, *into);
    return {std::string(into->view()), helpers_of(cv)};
}

Converted by_action(int token, const std::string& context, const std::string& argument) {
    Conversion cv(nullptr);
    if (!context.empty()) cv.contexts.push(context);
    Text* a = cv.make(argument);
    Text* v = token == TOK_ITEM ? tr::item_1(cv, a) : tr::var_1(cv, a);
    return {"before " + std::string(v->view()), helpers_of(cv)};
}

TEST(RunConstructions, WriteWhatTheirActionsGive) {
    Conversion cv(nullptr);
    RunConstructions writer(cv);
    const std::vector<std::string> contexts = {"", "s", "shop", "shop_items_list",
                                               std::string(300, 't')};
    // Every length up to past the copies of 16 bytes, and a long one.
    std::vector<std::string> arguments = {std::string(5000, 'n')};
    for (std::size_t n = 0; n <= 18; ++n)
        arguments.push_back(std::string("a b.5xyz0123456789").substr(0, n));
    for (int token : {TOK_ITEM, TOK_VAR}) {
        EXPECT_TRUE(writer.takes(token));
        for (const std::string& context : contexts) {
            for (const std::string& argument : arguments) {
                SCOPED_TRACE(std::to_string(token) + " " + context + " " + argument.substr(0, 9));
                const Converted ours = by_writer(token, context, argument);
                const Converted theirs = by_action(token, context, argument);
                EXPECT_EQ(ours.text, theirs.text);
                EXPECT_EQ(ours.helpers, theirs.helpers);
            }
        }
    }
    // Keywords whose argument is not only framed, or that have other rules
    // ending after one argument, are left to the parser.
    for (int token :
         {TOK_IF, TOK_CHAR, TOK_OPTIMIZE, TOK_SORT, TOK_MACRO_NEW, TOK_CONTEXT, TOK_MENU, TOK_EVAL})
        EXPECT_FALSE(writer.takes(token)) << token;
}

// The text runs find the keywords of the constructions they convert in the
// scanner's own operator names, each with the "[" that opens its list.
TEST(RunConstructions, AreFoundByTheirKeywords) {
    Conversion cv(nullptr);
    RunConstructions writer(cv);
    const TextRuns::Keywords words = TextRuns::keywords_of(&writer);
    std::vector<std::pair<std::string, int>> found;
    for (int i = 0; i < words.count; ++i)
        found.emplace_back(std::string(words.name[i].text, words.name[i].length + 1),
                           words.name[i].token);
    std::sort(found.begin(), found.end());
    const std::vector<std::pair<std::string, int>> expected = {{"item[", TOK_ITEM},
                                                               {"var[", TOK_VAR}};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(words.writer, &writer);
    EXPECT_EQ(TextRuns::keywords_of(nullptr).count, 0);
}

}  // namespace
}  // namespace tvconv
