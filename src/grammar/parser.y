/* Tavrin 2 grammar.
 *
 * 110 terminals and the nonterminals below. Every action is one call of a
 * translate/ function named for the construction it converts; bison's own
 * rule numbers are in the generated parser.output.
 *
 * The grammar has 79 shift/reduce conflicts, every one resolved by shifting:
 *   - a whitespace run swallows every further blank and line feed (3);
 *   - a string swallows every further text token (16);
 *   - ^macro_new[ commits to the name form on a character or blank (15);
 *   - ^char[ and ^optimize[ commit to the string form on a text token (16+16);
 *   - ^sort[x; commits to the two-character form on a character (13).
 * %expect makes the build fail if that count ever changes; bison itself
 * rejects any reduce/reduce conflict unless %expect-rr says otherwise.
 *
 * Text runs, argument lists and macro lists are left-recursive so that only
 * the nesting of constructions deepens the stack.
 */

%require "3.8"
%define api.pure full
%define parse.error custom
%define api.token.prefix {TOK_}
%define api.value.type {tvconv::Text*}
%param {tvconv::Conversion& cv}
%expect 79

%code requires {
#include "context/conversion.h"
#include "text/text.h"
// The value stack holds plain pointers, so the skeleton may move its stacks
// with memcpy when they grow (in C++ it refuses to grow them otherwise).
#define YYSTYPE_IS_TRIVIAL 1
}

%code provides {
namespace tvconv {
// bison's own parser loop over the same tables and actions: the reference
// for our engine (grammar/engine_loop.cpp).
int parse_document_reference(Conversion& cv);
}
}

%code {
#include "grammar/grammar_symbols.h"
#include "grammar/parser_tables.h"
#include "grammar/syntax_error.h"
#include "lexer/scanner.h"
#include "translate/translate.h"

// The stacks' heap block goes through the conversion so that a fatal scanner
// error unwinding through the parser cannot leak it.
#define YYMALLOC(n) (cv).stack_alloc(n)
#define YYFREE(p) (cv).stack_free(p)

namespace tr = tvconv::tr;

static int yylex(tvconv::Text** value, tvconv::Conversion& cv) {
    return tvconv::next_token(value, cv.scan.flex);
}
static void yyerror(tvconv::Conversion& cv, const char* message);
}

  /* Terminals in symbol order, each with its code: symbol n has code n + 254. */
%token SYMBOL 257 SPACE 258 TAB 259 CR 260 DIGIT 261
%token POINT 262 QUOTE 263 PARO 264 PARC 265 CURO 266
%token CURC 267 MATH 268 MAIN 269 MIME_TYPES 270 IF 271
%token IFDEF 272 EVAL 273 VAR 274 RANDOM 275 MACRO 276
%token MACRO_NEW 277 SWITCH 278 CASE 279 DEFAULT 280 EQ 281
%token START 282 FOR 283 WHILE 284 CONTEXT 285 CONFIG 286
%token LOAD 287 EMPTY 288 ITEM 289 MENU 290 TABLE 291
%token FORM 292 NUMBER 293 QUERY 294 ENV 295 URI 296
%token HEADER 297 COUNTER 298 MACRO_USE 299 MACRO_EXISTS 300 CMP 301
%token COLOR 302 SERVER 303 SQL 304 LOCATE 305 SHIFT 306
%token FLIP 307 SORT 308 SAVE 309 LENGTH 310 LEFT 311
%token RIGHT 312 MID 313 FINDSTR 314 CHAR 315 ASCII 316
%token LSPLIT 317 RSPLIT 318 TOUPPER 319 TOLOWER 320 TRUNCATE 321
%token UNESCAPE_BR 322 COMBINE 323 BROWSER 324 MANGLE 325 COOKIE 326
%token EXEC 327 SENDMAIL 328 UUENCODE 329 NAME 330 MINUSF 331
%token STAT 332 FIND 333 INDEX 334 DOWNLOAD 335 UPLOAD 336
%token UNLINK 337 MATCH 338 OPTIONSET 339 OPTIONCLEAR 340 OPTIONAND 341
%token OPTIONOR 342 OPTIONCOUNT 343 DATE 344 LOADTIMESTAMP 345 CALENDAR 346
%token DATEOFFSET 347 IMGSIZE 348 GIF_TEMPLATE 349 REM 350 PROCESS 351
%token LEVEL 352 OPTIMIZE 353 INCLUDE 354 DOLLAR 355 BIRD 356
%token SQBRO 357 SQBRC 358 SEMI 359 DOG 360 EDOLLAR 361
%token EBIRD 362 ESEMI 363

%start all

%%

all
    : tavrin2format                     { tr::accept_document(cv, $1); }
    ;

tavrin2format
    : expression macros                 { $$ = tr::document_with_macros(cv, $1, $2); }
    | expression                      
    ;

macros
    : macro                           
    | macros macro                      { $$ = tr::add_definition(cv, $1, $2); }
    ;

  /* The line feed that ends a header is counted by header_end, which is
     reduced as soon as the CR is shifted, before any token of the body is
     read. It stands in the CR's place, so a body sits no deeper on the stack
     than with the CR itself. */
macro
    : DOG MAIN optionalpars header_end expression
        { $$ = tr::macro_main(cv, $3, $4, $5); }
    | DOG MIME_TYPES optionalpars header_end expression
        { $$ = tr::macro_mime_types(cv, $3, $4, $5); }
    | DOG characters optionalpars header_end expression
        { $$ = tr::macro_definition(cv, $2, $3, $4, $5); }
    ;

header_end
    : CR                                { $$ = tr::header_line_end(cv, $1); }
    ;

optionalpars
    : %empty                            { $$ = tr::no_parameters(cv); }
    | SQBRO expressions SQBRC charactersonull
        { $$ = tr::parameter_list(cv, $2, $4); }
    ;

expression
    : %empty                            { $$ = tr::empty(cv); }
    | expression construction           { $$ = tr::join(cv, $1, $2); }
    | expression string                 { $$ = tr::join(cv, $1, $2); }
    ;

expressions
    : expression                      
    | expressions SEMI expression       { $$ = tr::join_arguments(cv, $1, $3); }
    ;

  /* ^context opens its context in a mid-rule action; matchstub_o and
     matchstub_c are the markers around the third argument of ^match. */
construction
    : BIRD                              { $$ = tr::lone_caret(cv); }
    | BIRD IF SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::if_3(cv, $4, $6, $8); }
    | BIRD IF SQBRO expression SEMI expression SQBRC
        { $$ = tr::if_2(cv, $4, $6); }
    | BIRD IFDEF SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::ifdef_3(cv, $4, $6, $8); }
    | BIRD IFDEF SQBRO expression SEMI expression SQBRC
        { $$ = tr::ifdef_2(cv, $4, $6); }
    | BIRD EVAL SQBRO expression SEMI expression SQBRC
        { $$ = tr::eval_2(cv, $4, $6); }
    | BIRD EVAL SQBRO expression SQBRC
        { $$ = tr::eval_1(cv, $4); }
    | BIRD VAR SQBRO expression SQBRC
        { $$ = tr::var_1(cv, $4); }
    | BIRD VAR SQBRO expression SEMI expression SQBRC
        { $$ = tr::var_2(cv, $4, $6); }
    | BIRD VAR SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::var_3(cv, $4, $6, $8); }
    | BIRD RANDOM SQBRO expression SQBRC
        { $$ = tr::random_1(cv, $4); }
    | BIRD MACRO SQBRO expression SQBRC
        { $$ = tr::macro_1(cv, $4); }
    | BIRD MACRO SQBRO expression SEMI expressions SQBRC
        { $$ = tr::macro_args(cv, $4, $6); }
    | BIRD MACRO_NEW SQBRO characters SEMI expression SQBRC
        { $$ = tr::macro_new_name(cv, $4, $6); }
    | BIRD MACRO_NEW SQBRO expression SEMI expression SQBRC
        { $$ = tr::macro_new_2(cv, $4, $6); }
    | BIRD SWITCH SQBRO expression SEMI expression SQBRC
        { $$ = tr::switch_2(cv, $4, $6); }
    | BIRD CASE SQBRO expression SEMI expression SQBRC
        { $$ = tr::case_2(cv, $4, $6); }
    | BIRD DEFAULT SQBRO expression SEMI expression SQBRC
        { $$ = tr::default_2(cv, $4, $6); }
    | BIRD EQ SQBRO expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::eq_4(cv, $4, $6, $8, $10); }
    | BIRD EQ SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::eq_3(cv, $4, $6, $8); }
    | BIRD START SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::start_3(cv, $4, $6, $8); }
    | BIRD FOR SQBRO expression SEMI expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::for_5(cv, $4, $6, $8, $10, $12); }
    | BIRD FOR SQBRO expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::for_4(cv, $4, $6, $8, $10); }
    | BIRD WHILE SQBRO expression SEMI expression SQBRC
        { $$ = tr::while_2(cv, $4, $6); }
    | BIRD CONTEXT SQBRO expression SEMI { tr::context_open(cv, $4); } expression SQBRC
        { $$ = tr::context_2(cv, $4, $7); }
    | BIRD CONFIG SQBRO expression SQBRC
        { $$ = tr::config_1(cv, $4); }
    | BIRD CONFIG SQBRO expressions SEMI expression SQBRC
        { $$ = tr::config_options(cv, $4, $6); }
    | BIRD LOAD SQBRO expression SQBRC
        { $$ = tr::load_1(cv, $4); }
    | BIRD LOAD SQBRO expression SEMI expression SQBRC
        { $$ = tr::load_2(cv, $4, $6); }
    | BIRD EMPTY SQBRO expression SEMI expression SQBRC
        { $$ = tr::empty_2(cv, $4, $6); }
    | BIRD ITEM SQBRO expression SQBRC
        { $$ = tr::item_1(cv, $4); }
    | BIRD ITEM SQBRO expression SEMI expression SQBRC
        { $$ = tr::item_2(cv, $4, $6); }
    | BIRD MENU SQBRO expression SQBRC
        { $$ = tr::menu_1(cv, $4); }
    | BIRD MENU SQBRO expression SEMI expression SQBRC
        { $$ = tr::menu_2(cv, $4, $6); }
    | BIRD TABLE SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::table_3(cv, $4, $6, $8); }
    | BIRD TABLE SQBRO expression SEMI expression SQBRC
        { $$ = tr::table_2(cv, $4, $6); }
    | BIRD FORM SQBRO expression SQBRC
        { $$ = tr::form_1(cv, $4); }
    | BIRD NUMBER SQBRO expression SQBRC
        { $$ = tr::number_1(cv, $4); }
    | BIRD QUERY SQBRO SQBRC
        { $$ = tr::query_0(cv); }
    | BIRD ENV SQBRO expression SQBRC
        { $$ = tr::env_1(cv, $4); }
    | BIRD URI SQBRO SQBRC
        { $$ = tr::uri_0(cv); }
    | BIRD HEADER SQBRO expression SEMI expression SQBRC
        { $$ = tr::header_2(cv, $4, $6); }
    | BIRD COUNTER SQBRO expression SQBRC
        { $$ = tr::counter_1(cv, $4); }
    | BIRD MACRO_USE SQBRO expression SQBRC
        { $$ = tr::macro_use_1(cv, $4); }
    | BIRD MACRO_EXISTS SQBRO expression SQBRC
        { $$ = tr::macro_exists_1(cv, $4); }
    | BIRD CMP SQBRO expression SEMI expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::cmp_5(cv, $4, $6, $8, $10, $12); }
    | BIRD COLOR SQBRO expression SEMI expression SQBRC
        { $$ = tr::color_2(cv, $4, $6); }
    | BIRD SERVER SQBRO expression SEMI expression SQBRC
        { $$ = tr::server_2(cv, $4, $6); }
    | BIRD SQL SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::sql_3(cv, $4, $6, $8); }
    | BIRD SQL SQBRO expression SEMI expression SQBRC
        { $$ = tr::sql_2(cv, $4, $6); }
    | BIRD SQL SQBRO expression SQBRC
        { $$ = tr::sql_1(cv, $4); }
    | BIRD LOCATE SQBRO expression SEMI expression SQBRC
        { $$ = tr::locate_2(cv, $4, $6); }
    | BIRD SHIFT SQBRO expression SQBRC
        { $$ = tr::shift_1(cv, $4); }
    | BIRD FLIP SQBRO expression SQBRC
        { $$ = tr::flip_1(cv, $4); }
    | BIRD SORT SQBRO expression SEMI character character SQBRC
        { $$ = tr::sort_direction(cv, $4, $6, $7); }
    | BIRD SORT SQBRO expression SEMI expression SQBRC
        { $$ = tr::sort_2(cv, $4, $6); }
    | BIRD SAVE SQBRO expression SQBRC
        { $$ = tr::save_1(cv, $4); }
    | BIRD SAVE SQBRO expression SEMI expression SQBRC
        { $$ = tr::save_2(cv, $4, $6); }
    | BIRD LENGTH SQBRO expression SQBRC
        { $$ = tr::length_1(cv, $4); }
    | BIRD LEFT SQBRO expression SEMI expression SQBRC
        { $$ = tr::left_2(cv, $4, $6); }
    | BIRD RIGHT SQBRO expression SEMI expression SQBRC
        { $$ = tr::right_2(cv, $4, $6); }
    | BIRD MID SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::mid_3(cv, $4, $6, $8); }
    | BIRD FINDSTR SQBRO expression SEMI expression SQBRC
        { $$ = tr::findstr_2(cv, $4, $6); }
    | BIRD CHAR SQBRO string SQBRC
        { $$ = tr::char_literal(cv, $4); }
    | BIRD CHAR SQBRO expression SQBRC
        { $$ = tr::char_1(cv, $4); }
    | BIRD ASCII SQBRO expression SQBRC
        { $$ = tr::ascii_1(cv, $4); }
    | BIRD LSPLIT SQBRO expression SEMI expression SQBRC
        { $$ = tr::lsplit_2(cv, $4, $6); }
    | BIRD RSPLIT SQBRO expression SEMI expression SQBRC
        { $$ = tr::rsplit_2(cv, $4, $6); }
    | BIRD TOUPPER SQBRO expression SQBRC
        { $$ = tr::toupper_1(cv, $4); }
    | BIRD TOLOWER SQBRO expression SQBRC
        { $$ = tr::tolower_1(cv, $4); }
    | BIRD TRUNCATE SQBRO expression SEMI expression SQBRC
        { $$ = tr::truncate_2(cv, $4, $6); }
    | BIRD UNESCAPE_BR SQBRO expression SQBRC
        { $$ = tr::unescape_br_1(cv, $4); }
    | BIRD COMBINE SQBRO expression SEMI expression SQBRC
        { $$ = tr::combine_2(cv, $4, $6); }
    | BIRD COMBINE SQBRO expression SQBRC
        { $$ = tr::combine_1(cv, $4); }
    | BIRD BROWSER SQBRO expression SEMI expression SQBRC
        { $$ = tr::browser_2(cv, $4, $6); }
    | BIRD MANGLE SQBRO expression SQBRC
        { $$ = tr::mangle_1(cv, $4); }
    | BIRD COOKIE SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::cookie_3(cv, $4, $6, $8); }
    | BIRD COOKIE SQBRO expression SEMI expression SQBRC
        { $$ = tr::cookie_2(cv, $4, $6); }
    | BIRD COOKIE SQBRO expression SQBRC
        { $$ = tr::cookie_1(cv, $4); }
    | BIRD EXEC SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::exec_3(cv, $4, $6, $8); }
    | BIRD EXEC SQBRO expression SEMI expression SQBRC
        { $$ = tr::exec_2(cv, $4, $6); }
    | BIRD EXEC SQBRO expression SQBRC
        { $$ = tr::exec_1(cv, $4); }
    | BIRD SENDMAIL SQBRO expression SQBRC
        { $$ = tr::sendmail_1(cv, $4); }
    | BIRD UUENCODE SQBRO expression SEMI expression SQBRC
        { $$ = tr::uuencode_2(cv, $4, $6); }
    | BIRD NAME SQBRO expression SQBRC
        { $$ = tr::name_1(cv, $4); }
    | BIRD MINUSF SQBRO expression SQBRC
        { $$ = tr::minusf_1(cv, $4); }
    | BIRD STAT SQBRO expression SEMI expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::stat_5(cv, $4, $6, $8, $10, $12); }
    | BIRD STAT SQBRO expression SEMI expression SQBRC
        { $$ = tr::stat_2(cv, $4, $6); }
    | BIRD FIND SQBRO expression SEMI expression SQBRC
        { $$ = tr::find_2(cv, $4, $6); }
    | BIRD FIND SQBRO expression SQBRC
        { $$ = tr::find_1(cv, $4); }
    | BIRD INDEX SQBRO expression SEMI expression SQBRC
        { $$ = tr::index_2(cv, $4, $6); }
    | BIRD INDEX SQBRO expression SQBRC
        { $$ = tr::index_1(cv, $4); }
    | BIRD DOWNLOAD SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::download_3(cv, $4, $6, $8); }
    | BIRD DOWNLOAD SQBRO expression SEMI expression SQBRC
        { $$ = tr::download_2(cv, $4, $6); }
    | BIRD DOWNLOAD SQBRO expression SQBRC
        { $$ = tr::download_1(cv, $4); }
    | BIRD UPLOAD SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::upload_3(cv, $4, $6, $8); }
    | BIRD UPLOAD SQBRO expression SEMI expression SQBRC
        { $$ = tr::upload_2(cv, $4, $6); }
    | BIRD UNLINK SQBRO expression SQBRC
        { $$ = tr::unlink_1(cv, $4); }
    | BIRD INCLUDE SQBRO expression SEMI expression SQBRC
        { $$ = tr::include_2(cv, $4, $6); }
    | BIRD INCLUDE SQBRO expression SQBRC
        { $$ = tr::include_1(cv, $4); }
    | BIRD MATCH SQBRO expression SEMI expression SEMI matchstub_o expression matchstub_c SEMI expression SQBRC
        { $$ = tr::match_4(cv, $4, $6, $9, $12); }
    | BIRD MATCH SQBRO expression SEMI expression SEMI matchstub_o expression matchstub_c SQBRC
        { $$ = tr::match_3(cv, $4, $6, $9); }
    | BIRD OPTIONSET SQBRO expression SEMI expression SQBRC
        { $$ = tr::optionset_2(cv, $4, $6); }
    | BIRD OPTIONCLEAR SQBRO expression SEMI expression SQBRC
        { $$ = tr::optionclear_2(cv, $4, $6); }
    | BIRD OPTIONAND SQBRO expression SEMI expression SQBRC
        { $$ = tr::optionand_2(cv, $4, $6); }
    | BIRD OPTIONOR SQBRO expression SEMI expression SQBRC
        { $$ = tr::optionor_2(cv, $4, $6); }
    | BIRD OPTIONCOUNT SQBRO expression SQBRC
        { $$ = tr::optioncount_1(cv, $4); }
    | BIRD DATE SQBRO expression SQBRC
        { $$ = tr::date_1(cv, $4); }
    | BIRD LOADTIMESTAMP SQBRO expression SQBRC
        { $$ = tr::loadtimestamp_1(cv, $4); }
    | BIRD CALENDAR SQBRO expression SEMI expression SEMI expression SEMI expression SQBRC
        { $$ = tr::calendar_4(cv, $4, $6, $8, $10); }
    | BIRD CALENDAR SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::calendar_3(cv, $4, $6, $8); }
    | BIRD DATEOFFSET SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::dateoffset_3(cv, $4, $6, $8); }
    | BIRD IMGSIZE SQBRO expression SQBRC
        { $$ = tr::imgsize_1(cv, $4); }
    | BIRD GIF_TEMPLATE SQBRO expression SEMI expression SEMI expression SQBRC
        { $$ = tr::gif_template_3(cv, $4, $6, $8); }
    | BIRD GIF_TEMPLATE SQBRO expression SEMI expression SQBRC
        { $$ = tr::gif_template_2(cv, $4, $6); }
    | BIRD REM SQBRO expression SQBRC
        { $$ = tr::rem_1(cv, $4); }
    | BIRD PROCESS SQBRO expression SQBRC
        { $$ = tr::process_1(cv, $4); }
    | BIRD LEVEL SQBRO expression SEMI expression SQBRC
        { $$ = tr::level_2(cv, $4, $6); }
    | BIRD OPTIMIZE SQBRO string SQBRC
        { $$ = tr::optimize_literal(cv, $4); }
    | BIRD OPTIMIZE SQBRO expression SQBRC
        { $$ = tr::optimize_1(cv, $4); }
    ;

matchstub_o
    : %empty                            { $$ = tr::match_open(cv); }
    ;

matchstub_c
    : %empty                            { $$ = tr::match_close(cv); }
    ;

escape
    : EDOLLAR                           { $$ = tr::dollar(cv, $1); }
    | DOLLAR                            { $$ = tr::dollar(cv, $1); }
    | EBIRD                           
    | ESEMI                           
    ;

whitespace
    : SPACE                           
    | TAB                             
    | CR                                { $$ = tr::line_feed(cv, $1); }
    | whitespace SPACE                  { $$ = tr::join(cv, $1, $2); }
    | whitespace TAB                    { $$ = tr::join(cv, $1, $2); }
    | whitespace CR                     { $$ = tr::join(cv, $1, tr::line_feed(cv, $2)); }
    ;

character
    : escape                          
    | DIGIT                           
    | MATH                            
    | POINT                           
    | QUOTE                             { $$ = tr::caret_escape(cv, $1); }
    | PARO                              { $$ = tr::caret_escape(cv, $1); }
    | PARC                              { $$ = tr::caret_escape(cv, $1); }
    | CURO                              { $$ = tr::caret_escape(cv, $1); }
    | CURC                              { $$ = tr::caret_escape(cv, $1); }
    | SYMBOL                          
    ;

characters
    : character                       
    | SPACE                           
    | TAB                             
    | characters character              { $$ = tr::join(cv, $1, $2); }
    | characters SPACE                  { $$ = tr::join(cv, $1, $2); }
    | characters TAB                    { $$ = tr::join(cv, $1, $2); }
    ;

charactersonull
    : %empty                            { $$ = tr::empty(cv); }
    | characters                      
    ;

symbol
    : character                       
    | whitespace                      
    ;

string
    : symbol                          
    | string symbol                     { $$ = tr::join(cv, $1, $2); }
    ;

%%

static void yyerror(tvconv::Conversion& cv, const char* /*message*/) {
    // With a custom error report the skeleton calls yyerror only when its
    // stacks cannot grow (the 10000-entry limit or no memory).
    tvconv::report_syntax_error(cv, tvconv::DiagnosticCode::stack_overflow, "parser stack overflow");
}

static int yyreport_syntax_error(const yypcontext_t* context, tvconv::Conversion& cv) {
    // At most four expected terminals are listed; with five or more the
    // skeleton answers 0 and the message names only the unexpected token.
    yysymbol_kind_t expected[4];
    int n = yypcontext_expected_tokens(context, expected, 4);
    int symbols[4];
    for (int i = 0; i < n; ++i) symbols[i] = static_cast<int>(expected[i]);
    tvconv::report_unexpected(cv, static_cast<int>(yypcontext_token(context)), symbols, n);
    return 0;
}

int tvconv::parse_document_reference(Conversion& cv) { return yyparse(cv); }

// The automaton's tables, for our engine loop.
const tvconv::ParserTables& tvconv::parser_tables() {
    static_assert(sizeof yypact[0] == 2 && sizeof yypgoto[0] == 2 && sizeof yydefgoto[0] == 2 &&
                  sizeof yytable[0] == 2 && sizeof yycheck[0] == 2 && sizeof yydefact[0] == 1 &&
                  sizeof yyr1[0] == 1 && sizeof yyr2[0] == 1 && sizeof yytranslate[0] == 1 &&
                  sizeof yystos[0] == 1 && sizeof(yy_state_t) == 2);
    static const ParserTables tables = {
        yypact,          yydefact,   yypgoto,     yydefgoto,  yytable,
        yycheck,         yyr1,       yyr2,        yytranslate, yystos,
        YYPACT_NINF,     YYTABLE_NINF, YYLAST,    YYNTOKENS,  YYFINAL,
        YYNSTATES,       YYNNTS,     YYMAXUTOK,
        YYSYMBOL_expression, YYSYMBOL_string, YYSYMBOL_whitespace,
    };
    return tables;
}

const char* tvconv::bison_symbol_name(int symbol) {
    return yysymbol_name(static_cast<yysymbol_kind_t>(symbol));
}

// The build read these out of this parser; here they meet the values in force.
static_assert(tvconv::grammar::kTerminalCount == YYNTOKENS);
static_assert(tvconv::grammar::kErrorSymbol == YYSYMBOL_YYerror);
static_assert(tvconv::grammar::kUndefinedSymbol == YYSYMBOL_YYUNDEF);
static_assert(tvconv::grammar::kInitialDepth == YYINITDEPTH);
static_assert(tvconv::grammar::kMaxDepth == YYMAXDEPTH);
