// File, process and mail operators. Tavrin 3 has most of them in its file
// and mail classes; CGI calls, mail sending, file statistics and uploads keep
// their old behaviour through helper methods.
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

namespace {

// An absolute program path keeps only its last component, looked up in the
// directory of the script's own file.
constexpr std::string_view kExecHelper =
    "@exec[unused_uri;unused_query;unused_path]\n^if(^unused_uri.left(1) eq "
    "\"/\"){$unused_uri[^unused_uri.match[^^.*[/\\\\]([^^/"
    "\\\\]*)^$][]{$match.1}]$unused_full[$env:SCRIPT_FILENAME]$unused_full[^unused_full.match[^^(.*"
    ")[/\\\\][^^/\\\\]*^$][]{$match.1/$unused_uri}]$result[^file::cgi[/../../../../../../../../../"
    "..$unused_full;$.QUERY_STRING[$unused_query] "
    "$.PATH_INFO[$unused_path]]]}{$result[^file::cgi[$unused_uri;$.QUERY_STRING[$unused_query] "
    "$.PATH_INFO[$unused_path]]]}\n\n";

// The letter carries its own header lines; they become mail fields.
constexpr std::string_view kSendmailHelper =
    "@sendmail[unused_letter]\n^mail:send[\n$unused_text[^unused_letter.match[^^([^^\\n]+\\n)+\\n(."
    "*)^$][]{$match.2}]\n$unused_letter[^unused_letter.match[^^(([^^\\n]+\\n)+).*^$][]{$match.1}]"
    "\n^while(def "
    "$unused_letter){\n$unused_string[^unused_letter.match[^^([^^\\n]+).*^$][]{$match.1}]\n$unused_"
    "field[^unused_string.match[^^([^^ ]*): "
    ".*^$][]{$match.1}]\n$unused_value[^unused_string.match[^^[^^ ]*: "
    "(.*)^$][]{$match.1}]\n$unused_field[^unused_field.lower[]]\n$.$unused_field[$unused_value]\n$"
    "unused_letter[^unused_letter.match[^^[^^\\n]+\\n][]{}]\n}\n$.charset[koi8-r]\n$.text[$unused_"
    "text]\n]$result[]\n\n";

constexpr std::string_view kStatHelper =
    "@stat[unused_type;unused_filename;unused_byte;unused_kbyte;unused_mbyte]\n$unused_file[^file::"
    "stat[$unused_filename]]\n^switch[$unused_type]{\n^case[size]{$result[$unused_file.size]}\n^"
    "case[atime]{$result[^eval(${unused_file.adate}*24*3600)[%10d]]}\n^case[mtime]{$result[^eval(${"
    "unused_file.mdate}*24*3600)[%10d]]}\n^case[ctime]{$result[^eval(${unused_file.cdate}*24*3600)["
    "%10d]]}\n^case[fsize]{^if($unused_file.size > "
    "1024*1024){\n$result[^math:round($unused_file.size/(1024*1024)) "
    "$unused_mbyte]\n}{^if($unused_file.size > 1024){\n$result[^math:round($unused_file.size/1024) "
    "$unused_kbyte]\n}{$result[$unused_file.size "
    "$unused_byte]}\n}}\n^case[DEFAULT]{$result[]}}\n\n";

constexpr std::string_view kUploadHelper =
    "@upload[unused_file;unused_command]\n^if(def "
    "$unused_command){\n^switch[$unused_command]{\n^case[name]{$result[$unused_file.name]}\n^case["
    "size]{$result[$unused_file.size]}\n^case[value]{$result[$unused_file.text]}\n^case[DEFAULT]{^"
    "unused_file.save[binary;$unused_command]$result[]}\n}}{^unused_file.save[binary;$unused_file."
    "name]$result[]}\n\n";

// All three forms of ^exec share the helper; the result is a file object whose
// text is the program's output.
Text* exec_call(Conversion& cv, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    cv.registry.register_static(kExecHelper);
    return fill(cv, fmt, args);
}

}  // namespace

Text* exec_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return exec_call(cv, "$unused_file[^exec[%s;%s;%s]]$unused_file.text", {a, b, c});
}
Text* exec_2(Conversion& cv, Text* a, Text* b) {
    return exec_call(cv, "$unused_file[^exec[%s;%s]]$unused_file.text", {a, b});
}
Text* exec_1(Conversion& cv, Text* a) {
    return exec_call(cv, "$unused_file[^exec[%s]]$unused_file.text", {a});
}

Text* sendmail_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kSendmailHelper);
    return fill(cv, "^sendmail[%s]", {a});
}

Text* uuencode_2(Conversion& cv, Text* a, Text* b) {
    return remarked(
        cv, fill(cv, "^rem{^uuencode[%s;%s]}", {a, b}), DiagnosticCode::unconvertible_operator,
        "uuencode",
        "Unconvertible operator 'uuencode' (line %d): you have to exclude multipart mixing context "
        "from message body and use ^mail:send .file functionality; remarked, edit manually");
}

Text* name_1(Conversion& cv, Text* a) {
    return fill(cv, "^file:justname[%s]", {a});
}

// ^-f[file] gives the file name when the file exists.
Text* minusf_1(Conversion& cv, Text* a) {
    return fill(cv, "^if(-f \"%s\"){%s}", {a, a});
}

Text* stat_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e) {
    cv.registry.register_static(kStatHelper);
    return fill(cv, "^stat[%s;%s;%s;%s;%s]", {a, b, c, d, e});
}
Text* stat_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kStatHelper);
    return fill(cv, "^stat[%s;%s]", {a, b});
}

Text* find_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^file:find[%s]{%s}", {a, b});
}
Text* find_1(Conversion& cv, Text* a) {
    return fill(cv, "^file:find[%s]", {a});
}

// The listing becomes the current table.
Text* index_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$%s[^file:list[%s;%s]]", {ctx(cv), a, b});
}
Text* index_1(Conversion& cv, Text* a) {
    return fill(cv, "$%s[^file:list[%s]]", {ctx(cv), a});
}

// The MIME type has no place in the target's call: the response takes its
// type from the MIME-TYPES table, which the user has to configure.
Text* download_3(Conversion& cv, Text* a, Text* b, Text* mime_type) {
    cv.release(mime_type);
    Text* result = download_2(cv, a, b);
    cv.diagnose_at(result, DiagnosticCode::unconvertible_parameter, "download",
                   "Unconvertible parameter 'mime-type' in operator 'download' (line %d): you have "
                   "to configure MIME-TYPES table if your type is unusual");
    return result;
}
Text* download_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$response:body[^file::load[binary;%s;%s]]", {a, b});
}
Text* download_1(Conversion& cv, Text* a) {
    return fill(cv, "$response:body[^file::load[binary;%s]]", {a});
}

Text* upload_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return remarked(
        cv, fill(cv, "^rem{^upload[%s;%s;%s]}", {a, b, c}), DiagnosticCode::unconvertible_operator,
        "upload",
        "Unconvertible operator 'upload' with 3 parameters (line %d): you have to use ^mail:send "
        ".file functionality instead of manual uuencoding to include file in e-mail letters; "
        "remarked, edit manually");
}
Text* upload_2(Conversion& cv, Text* field, Text* command) {
    cv.registry.register_static(kUploadHelper);
    return fill(cv, "^upload[$form:%s;%s]", {field, command});
}

Text* unlink_1(Conversion& cv, Text* a) {
    return fill(cv, "^file:delete[%s]", {a});
}

// The two-argument form includes b as it stands; its first argument has no
// counterpart and is dropped.
Text* include_2(Conversion& cv, Text* a, Text* b) {
    cv.release(a);
    return fill(cv, "$unused_file[^file::load[text;%s]]^taint[as-is][$unused_file.text]", {b});
}
Text* include_1(Conversion& cv, Text* a) {
    return fill(cv, "$unused_file[^file::load[text;%s]]^process{$unused_file.text}", {a});
}

}  // namespace tvconv::tr
