#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace grinsnap::cli {

// The words of one command: positional arguments, options that take a value
// ("--size 800x600" or "--size=800x600", "-o OUT") and switches ("--force").
// Unknown options are errors, so a typing mistake never passes silently.
class Arguments {
public:
  // valueOptions and switches list the accepted names with their dashes.
  Arguments(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
            const std::set<std::string>& switches, const std::map<std::string, std::string>& aliases = {});

  const std::vector<std::string>& Positional() const { return positional_; }
  std::optional<std::string> Value(const std::string& option) const;
  bool Has(const std::string& option) const { return switches_.count(option) > 0; }

private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;
  std::set<std::string> switches_;
};

}  // namespace grinsnap::cli
