#include "cli/arguments.h"

#include "cli/cli_support.h"

namespace grinsnap::cli {

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
                     const std::set<std::string>& switches, const std::map<std::string, std::string>& aliases) {
  bool onlyPositional = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    if (onlyPositional || word.size() < 2 || word[0] != '-') {
      positional_.push_back(word);
      continue;
    }
    if (word == "--") {
      onlyPositional = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const auto equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
      inlineValue = word.substr(equals + 1);
      word.resize(equals);
    }
    if (const auto alias = aliases.find(word); alias != aliases.end()) word = alias->second;

    if (valueOptions.count(word)) {
      if (!inlineValue) {
        if (i + 1 >= words.size()) throw CliError(kExitUsage, word + " needs a value");
        inlineValue = words[++i];
      }
      if (values_.count(word)) throw CliError(kExitUsage, word + " is given twice");
      values_[word] = *inlineValue;
    } else if (switches.count(word)) {
      if (inlineValue) throw CliError(kExitUsage, word + " takes no value");
      switches_.insert(word);
    } else {
      throw CliError(kExitUsage, "unknown option '" + words[i] + "'", "see --help for the options of this command");
    }
  }
}

std::optional<std::string> Arguments::Value(const std::string& option) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace grinsnap::cli
