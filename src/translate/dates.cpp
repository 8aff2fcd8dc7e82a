// Dates and images. Date formatting and time-stamp loading are emulated by
// helper methods; the date-carrying current table is one row with the
// columns year, month, day, hour and min.
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

namespace {

// Registered verbatim, so its "%02d" formats reach the output as written.
// Month 6 is "Jun" in the short-name table and "June" in the long one.
constexpr std::string_view kOldDateHelper =
    "@old_date[unused_date;unused_format]\n$unused_wds[$.0[Sun]$.1[Mon]$.2[Tue]$.3[Wed]$.4[Thu]$.5["
    "Fri]$.6[Sat]]\n$unused_wdl[$.0[Sunday]$.1[Monday]$.2[Tuesday]$.3[Wednesday]$.4[Thursday]$.5["
    "Friday]$.6[Saturday]]\n$unused_mns[$.1[Jan]$.2[Feb]$.3[Mar]$.4[Apr]$.5[May]$.6[Jun]$.7[Jul]$."
    "8[Aug]$.9[Sep]$.10[Oct]$.11[Nov]$.12[Dec]]\n$unused_mnl[$.1[January]$.2[February]$.3[March]$."
    "4[April]$.5[May]$.6[June]$.7[July]$.8[August]$.9[September]$.10[October]$.11[November]$.12["
    "December]]\n^if(def "
    "$unused_format){\n$result[^unused_format.match[%([A-z%])][g]{^switch[$match.1]{\n^case[%]{%}"
    "\n^case[Y]{$unused_date.year}\n^case[y]{$unused_variable[$unused_date.year]^unused_variable."
    "right(2)}\n^case[w]{$unused_date.weekday}\n^case[S]{^eval($unused_date.second)[%02d]}\n^case["
    "p]{^if($unused_date.hour > "
    "11){PM}{AM}}\n^case[M]{^eval($unused_date.minute)[%02d]}\n^case[m]{^eval($unused_date.month)[%"
    "02d]}\n^case[j]{^eval($unused_date-^date::create($unused_date.year;1)+1)[%03d]}\n^case[I]{^if("
    "$unused_date.hour==0){12}{^if($unused_date.hour>12){^eval($unused_date.hour-12)[%02d]}{^eval($"
    "unused_date.hour)[%02d]}}}\n^case[H]{^eval($unused_date.hour)[%02d]}\n^case[d]{^eval($unused_"
    "date.day)[%02d]}\n^case[C]{$unused_variable[$unused_date.year]^unused_variable.left(2)}\n^"
    "case[c]{$unused_wds.[$unused_date.weekday] $unused_mns.[$unused_date.month] $unused_date.day "
    "^eval($unused_date.hour)[%02d]:^eval($unused_date.minute)[%02d]:^eval($unused_date.second)[%"
    "02d] "
    "$unused_date.year}\n^case[s]{^eval($unused_date*24*3600)[%10d]}\n^case[b]{$unused_mns.[$"
    "unused_date.month]}\n^case[B]{$unused_mnl.[$unused_date.month]}\n^case[a]{$unused_wds.[$"
    "unused_date.weekday]}\n^case[A]{$unused_wdl.[$unused_date.weekday]}\n^case[DEFAULT]{%$match.1}"
    "\n}}]\n}{$result[$unused_format]}\n\n";

constexpr std::string_view kLoadTimestampHelper =
    "@loadtimestamp[unused_datestr]\n^if(def "
    "$unused_datestr){\n$unused_null[^unused_datestr.match[([0-9]*).([0-9]*).([0-9]*) "
    "([0-9]*):([0-9]*)][]{$unused_date[^date::create($match.1;$match.2;$match.3;$match.4;$match.5)]"
    "}]\n}{$unused_date[^date::now[]]}\n$result[^table::create{year\tmonth\tday\thour\tmin\n$"
    "unused_date.year\t^eval($unused_date.month)[%02d]\t^eval($unused_date.day)[%02d]\t^eval($"
    "unused_date.hour)[%02d]\t^eval($unused_date.minute)[%02d]}]\n\n";

}  // namespace

Text* date_1(Conversion& cv, Text* format) {
    cv.registry.register_static(kOldDateHelper);
    return fill(cv, "^old_date[^date::now[];%s]", {format});
}

Text* loadtimestamp_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kLoadTimestampHelper);
    return fill(cv, "$%s[^loadtimestamp[%s]]", {ctx(cv), a});
}

// The first argument picks the calendar's language: "weekeng" (or
// "montheng") English, any other non-empty value Russian.
Text* calendar_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d) {
    return fill(
        cv, "$%s[^date:calendar[^if(def \"%s\"){^if(\"%s\" eq \"weekeng\"){eng}{rus}}](%s;%s;%s)]",
        {ctx(cv), a, a, b, c, d});
}
Text* calendar_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(
        cv, "$%s[^date:calendar[^if(def \"%s\"){^if(\"%s\" eq \"montheng\"){eng}{rus}}](%s;%s)]",
        {ctx(cv), a, a, b, c});
}

// Shifts the date in the current table by years, months and days; an empty
// offset counts as 0. The "%%" give the "%02d" paddings of the new row.
Text* dateoffset_3(Conversion& cv, Text* years, Text* months, Text* days) {
    std::string_view t = ctx(cv);
    return fill(cv,
                "$unused_rtime[^date::create[^eval(${%s.year}+^if(def "
                "\"%s\"){%s}{0})-^eval(${%s.month}+^if(def \"%s\"){%s}{0})-^eval(${%s.day}+^if(def "
                "\"%s\"){%s}{0}) "
                "${%s.hour}:${%s.min}]]\n$%s[^table::create{year\tmonth\tday\thour\tmin\n$unused_"
                "rtime.year\t^eval($unused_rtime.month)[%%02d]\t^eval($unused_rtime.day)[%%02d]\t^"
                "eval($unused_rtime.hour)[%%02d]\t^eval($unused_rtime.minute)[%%02d]}]",
                {t, years, years, t, months, months, t, days, days, t, t, t});
}

Text* imgsize_1(Conversion& cv, Text* a) {
    return fill(cv,
                "$unused_image[^image::measure[%s]]$%s[^table::create{0\t1\n$unused_image.width\t$"
                "unused_image.height}]",
                {a, ctx(cv)});
}

Text* gif_template_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return remarked(
        cv, fill(cv, "^rem{^gif_template[%s;%s;%s]}", {a, b, c}),
        DiagnosticCode::unconvertible_operator, "gif_template",
        "Unconvertible operator 'gif_template' with 3 parameters (line %d): you have to use image "
        "class functionality; remarked, edit manually");
}
Text* gif_template_2(Conversion& cv, Text* a, Text* b) {
    return remarked(
        cv, fill(cv, "^rem{^gif_template[%s;%s]}", {a, b}), DiagnosticCode::unconvertible_operator,
        "gif_template",
        "Unconvertible operator 'gif_template' with 2 parameters (line %d): you have to use image "
        "class functionality; remarked, edit manually");
}

}  // namespace tvconv::tr
