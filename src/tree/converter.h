// The convert step of the pipeline: pure work in the worker threads. The
// bytes of a template in, its conversion, status and findings out, with no
// I/O at all.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "context/diagnostic.h"
#include "tree/options.h"
#include "tree/outcome.h"
#include "tree/walk.h"

namespace tvconv::tree {

struct Converted {
    FileOutcome outcome;  // failed when the template could not be converted
    std::string output;
};

class Converter {
  public:
    // `entries` are the walk's: the macro files among them that this run
    // renames are what a ^macro_use is rewritten to.
    Converter(const Options& options, const std::vector<Entry>& entries);

    Converted operator()(const Entry& e, std::string_view bytes) const;

    // Hashes of what a conversion, and a copy, depend on beyond the source.
    const std::string& template_inputs() const { return template_inputs_; }
    const std::string& copy_inputs() const { return copy_inputs_; }

  private:
    // A warning after each rewritten reference (`references`, the whole
    // arguments in the order of their notes) that leads to no file.
    void check_references(const Entry& e, const std::vector<std::string>& references,
                          std::vector<Finding>& findings) const;

    const Options& options_;
    std::set<std::string, std::less<>> renamed_;        // by source names
    std::set<std::string, std::less<>> renamed_paths_;  // the same files, by source paths
    std::string template_inputs_, copy_inputs_;
};

// The file of the site that a ^macro_use argument names: `reference`
// resolved against the folder of `page`, or against the root when it starts
// with a separator ('/' or '\\', which the helper method both accepts).
// Nothing when it climbs out of the site.
std::optional<std::string> referenced_path(std::string_view page, std::string_view reference);

// The findings of a template: its encoding's, then the conversion's.
std::vector<Finding> findings_of(std::string_view bytes,
                                 const std::vector<Diagnostic>& diagnostics);

}  // namespace tvconv::tree
