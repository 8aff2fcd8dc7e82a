#include "grammar/syntax_error.h"

#include <array>
#include <new>

#include "context/conversion.h"

namespace tvconv {

namespace {

constexpr std::array<std::string_view, kTerminalCount> kNames = {
    "$",       "error",         "$undefined.", "SYMBOL",     "SPACE",        "TAB",
    "CR",      "DIGIT",         "POINT",       "QUOTE",      "PARO",         "PARC",
    "CURO",    "CURC",          "MATH",        "MAIN",       "MIME_TYPES",   "IF",
    "IFDEF",   "EVAL",          "VAR",         "RANDOM",     "MACRO",        "MACRO_NEW",
    "SWITCH",  "CASE",          "DEFAULT",     "EQ",         "START",        "FOR",
    "WHILE",   "CONTEXT",       "CONFIG",      "LOAD",       "EMPTY",        "ITEM",
    "MENU",    "TABLE",         "FORM",        "NUMBER",     "QUERY",        "ENV",
    "URI",     "HEADER",        "COUNTER",     "MACRO_USE",  "MACRO_EXISTS", "CMP",
    "COLOR",   "SERVER",        "SQL",         "LOCATE",     "SHIFT",        "FLIP",
    "SORT",    "SAVE",          "LENGTH",      "LEFT",       "RIGHT",        "MID",
    "FINDSTR", "CHAR",          "ASCII",       "LSPLIT",     "RSPLIT",       "TOUPPER",
    "TOLOWER", "TRUNCATE",      "UNESCAPE_BR", "COMBINE",    "BROWSER",      "MANGLE",
    "COOKIE",  "EXEC",          "SENDMAIL",    "UUENCODE",   "NAME",         "MINUSF",
    "STAT",    "FIND",          "INDEX",       "DOWNLOAD",   "UPLOAD",       "UNLINK",
    "MATCH",   "OPTIONSET",     "OPTIONCLEAR", "OPTIONAND",  "OPTIONOR",     "OPTIONCOUNT",
    "DATE",    "LOADTIMESTAMP", "CALENDAR",    "DATEOFFSET", "IMGSIZE",      "GIF_TEMPLATE",
    "REM",     "PROCESS",       "LEVEL",       "OPTIMIZE",   "INCLUDE",      "DOLLAR",
    "BIRD",    "SQBRO",         "SQBRC",       "SEMI",       "DOG",          "EDOLLAR",
    "EBIRD",   "ESEMI",
};

}  // namespace

std::string_view symbol_name(int symbol) {
    if (symbol < 0 || symbol >= kTerminalCount) return "$undefined.";
    return kNames[static_cast<std::size_t>(symbol)];
}

std::string unexpected_message(int unexpected, const int* expected, int count) {
    std::string m = "parse error, unexpected ";
    m += symbol_name(unexpected);
    for (int i = 0; i < count; ++i) {
        m += i == 0 ? ", expecting " : " or ";
        m += symbol_name(expected[i]);
    }
    return m;
}

void report_syntax_error(Conversion& cv, DiagnosticCode code, std::string_view message) {
    std::string text = "Unrecognized sequence (line %d): ";
    text.append(message).append(" near '").append(cv.scan.last_token).append("'");
    cv.diagnose(code, {}, text);
}

void report_unexpected(Conversion& cv, int unexpected, const int* expected, int count) {
    std::string message;
    try {
        message = unexpected_message(unexpected, expected, count);
    } catch (const std::bad_alloc&) {
        message = "parse error; also virtual memory exhausted";
    }
    report_syntax_error(cv, DiagnosticCode::syntax_error, message);
}

}  // namespace tvconv
