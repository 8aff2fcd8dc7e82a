// Rule actions: each function builds the target-language text of one
// construction from the converted texts of its parts.
//
// Ownership: a function takes over every Text* it is given and returns a new
// or reused value; the caller (a grammar action) passes the values of the
// rule's right-hand side and keeps the result. Helper methods are registered
// before the result is made; diagnostics are written afterwards.
#pragma once

#include "context/conversion.h"
#include "text/text.h"

namespace tvconv::tr {

// --- Document structure, text and escapes: document.cpp
Text* document_with_macros(Conversion& cv, Text* leading, Text* definitions);
Text* macro_main(Conversion& cv, Text* params, Text* line_end, Text* body);
Text* macro_mime_types(Conversion& cv, Text* params, Text* line_end, Text* body);
Text* macro_definition(Conversion& cv, Text* name, Text* params, Text* line_end, Text* body);
Text* header_line_end(Conversion& cv, Text* line_feed);  // counts the line feed ending a header
// The start rule: hands the converted document back to the core.
void accept_document(Conversion& cv, Text* document);
Text* no_parameters(Conversion& cv);
Text* parameter_list(Conversion& cv, Text* params, Text* trailing);
Text* empty(Conversion& cv);
// Appends b to a: the left-recursive lists of expressions, whitespace,
// characters and strings.
Text* join(Conversion& cv, Text* a, Text* b);
Text* add_definition(Conversion& cv, Text* definitions, Text* definition);
Text* join_arguments(Conversion& cv, Text* arguments, Text* argument);
Text* lone_caret(Conversion& cv);
Text* dollar(Conversion& cv, Text* token);
Text* line_feed(Conversion& cv, Text* token);
Text* caret_escape(Conversion& cv, Text* token);

// --- Variables, evaluation and control flow: control.cpp
Text* if_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* if_2(Conversion& cv, Text* a, Text* b);
Text* ifdef_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* ifdef_2(Conversion& cv, Text* a, Text* b);
Text* eval_2(Conversion& cv, Text* a, Text* b);
Text* eval_1(Conversion& cv, Text* a);
Text* var_1(Conversion& cv, Text* a);
Text* var_2(Conversion& cv, Text* a, Text* b);
Text* var_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* random_1(Conversion& cv, Text* a);
Text* switch_2(Conversion& cv, Text* a, Text* b);
Text* case_2(Conversion& cv, Text* a, Text* b);
Text* default_2(Conversion& cv, Text* a, Text* b);
Text* eq_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);
Text* eq_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* start_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* for_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);
Text* for_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);
Text* while_2(Conversion& cv, Text* a, Text* b);

// --- Macro calls and macro_new: macros.cpp
Text* macro_1(Conversion& cv, Text* a);
Text* macro_args(Conversion& cv, Text* name, Text* arguments);
Text* macro_new_name(Conversion& cv, Text* name, Text* body);
Text* macro_new_2(Conversion& cv, Text* a, Text* b);

// --- Contexts and table constructions: tables.cpp
void context_open(Conversion& cv, const Text* name);  // push the name
Text* match_open(Conversion& cv);                     // push "unused_match"
Text* match_close(Conversion& cv);                    // pop
Text* context_2(Conversion& cv, Text* name, Text* body);
Text* config_1(Conversion& cv, Text* a);
Text* config_options(Conversion& cv, Text* options, Text* body);
Text* load_1(Conversion& cv, Text* a);
Text* load_2(Conversion& cv, Text* a, Text* b);
Text* empty_2(Conversion& cv, Text* a, Text* b);
Text* item_1(Conversion& cv, Text* a);
Text* item_2(Conversion& cv, Text* a, Text* b);
Text* menu_1(Conversion& cv, Text* a);
Text* menu_2(Conversion& cv, Text* a, Text* b);
Text* table_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* table_2(Conversion& cv, Text* a, Text* b);

// --- Request, environment and response operators: request.cpp
Text* form_1(Conversion& cv, Text* a);
Text* number_1(Conversion& cv, Text* a);
Text* query_0(Conversion& cv);
Text* env_1(Conversion& cv, Text* a);
Text* uri_0(Conversion& cv);
Text* header_2(Conversion& cv, Text* a, Text* b);
Text* counter_1(Conversion& cv, Text* a);
Text* cmp_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);
Text* color_2(Conversion& cv, Text* a, Text* b);
Text* combine_2(Conversion& cv, Text* a, Text* b);
Text* combine_1(Conversion& cv, Text* a);
Text* browser_2(Conversion& cv, Text* a, Text* b);
Text* mangle_1(Conversion& cv, Text* a);
Text* cookie_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* cookie_2(Conversion& cv, Text* a, Text* b);
Text* cookie_1(Conversion& cv, Text* a);

// --- SQL and table operators: sql.cpp
Text* server_2(Conversion& cv, Text* a, Text* b);
Text* sql_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* sql_2(Conversion& cv, Text* a, Text* b);
Text* sql_1(Conversion& cv, Text* a);
Text* locate_2(Conversion& cv, Text* a, Text* b);
Text* shift_1(Conversion& cv, Text* a);
Text* flip_1(Conversion& cv, Text* a);
Text* sort_direction(Conversion& cv, Text* column, Text* x, Text* y);
Text* sort_2(Conversion& cv, Text* a, Text* b);
Text* save_1(Conversion& cv, Text* a);
Text* save_2(Conversion& cv, Text* a, Text* b);

// --- String operators: strings.cpp
Text* length_1(Conversion& cv, Text* a);
Text* left_2(Conversion& cv, Text* a, Text* b);
Text* right_2(Conversion& cv, Text* a, Text* b);
Text* mid_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* findstr_2(Conversion& cv, Text* a, Text* b);
Text* char_literal(Conversion& cv, Text* s);
Text* char_1(Conversion& cv, Text* a);
Text* ascii_1(Conversion& cv, Text* a);
Text* lsplit_2(Conversion& cv, Text* a, Text* b);
Text* rsplit_2(Conversion& cv, Text* a, Text* b);
Text* toupper_1(Conversion& cv, Text* a);
Text* tolower_1(Conversion& cv, Text* a);
Text* truncate_2(Conversion& cv, Text* a, Text* b);
Text* unescape_br_1(Conversion& cv, Text* a);

// --- File, process and mail operators: files.cpp
Text* exec_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* exec_2(Conversion& cv, Text* a, Text* b);
Text* exec_1(Conversion& cv, Text* a);
Text* sendmail_1(Conversion& cv, Text* a);
Text* uuencode_2(Conversion& cv, Text* a, Text* b);
Text* name_1(Conversion& cv, Text* a);
Text* minusf_1(Conversion& cv, Text* a);
Text* stat_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);
Text* stat_2(Conversion& cv, Text* a, Text* b);
Text* find_2(Conversion& cv, Text* a, Text* b);
Text* find_1(Conversion& cv, Text* a);
Text* index_2(Conversion& cv, Text* a, Text* b);
Text* index_1(Conversion& cv, Text* a);
Text* download_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* download_2(Conversion& cv, Text* a, Text* b);
Text* download_1(Conversion& cv, Text* a);
Text* upload_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* upload_2(Conversion& cv, Text* a, Text* b);
Text* unlink_1(Conversion& cv, Text* a);
Text* include_2(Conversion& cv, Text* a, Text* b);
Text* include_1(Conversion& cv, Text* a);

// --- Pattern matching and option sets: matching.cpp
Text* match_4(Conversion& cv, Text* pattern, Text* options, Text* code, Text* string);
Text* match_3(Conversion& cv, Text* pattern, Text* options, Text* string);
Text* optionset_2(Conversion& cv, Text* a, Text* b);
Text* optionclear_2(Conversion& cv, Text* a, Text* b);
Text* optionand_2(Conversion& cv, Text* a, Text* b);
Text* optionor_2(Conversion& cv, Text* a, Text* b);
Text* optioncount_1(Conversion& cv, Text* a);

// --- Dates and images: dates.cpp
Text* date_1(Conversion& cv, Text* a);
Text* loadtimestamp_1(Conversion& cv, Text* a);
Text* calendar_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);
Text* calendar_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* dateoffset_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* imgsize_1(Conversion& cv, Text* a);
Text* gif_template_3(Conversion& cv, Text* a, Text* b, Text* c);
Text* gif_template_2(Conversion& cv, Text* a, Text* b);

// --- Remarks, processing and output levels: processing.cpp
Text* macro_use_1(Conversion& cv, Text* a);
Text* macro_exists_1(Conversion& cv, Text* a);
Text* rem_1(Conversion& cv, Text* a);
Text* process_1(Conversion& cv, Text* a);
Text* level_2(Conversion& cv, Text* a, Text* b);
Text* optimize_literal(Conversion& cv, Text* s);
Text* optimize_1(Conversion& cv, Text* a);

}  // namespace tvconv::tr
