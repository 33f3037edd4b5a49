#include "tools/common/cli_options.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace cli {

namespace {

const TOptionSpec* FindLong(TOptionTable table, const std::string& name) {
  for (const TOptionSpec& o : table) {
    if (o.Name[0] != '\0' && name == o.Name) return &o;
  }
  return nullptr;
}

const TOptionSpec* FindShort(TOptionTable table, char c) {
  for (const TOptionSpec& o : table) {
    if (o.Short != 0 && o.Short == c) return &o;
  }
  return nullptr;
}

}  // namespace

TReadResult ReadArgs(TOptionTable table, const std::vector<std::string>& args,
                     const TReadRules& rules, const TOptionHandler& on_option) {
  TReadResult result;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const TOptionSpec* option = nullptr;
    std::string value;
    bool has_value = false;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      const size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        has_value = true;
      }
      option = FindLong(table, name);
      if (option == nullptr) throw TOptionError("unknown option --" + name);
    } else if (arg == "--" && rules.Positionals) {
      result.Positionals.insert(result.Positionals.end(),
                                args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (arg.size() == 2 && arg[0] == '-') {
      option = FindShort(table, arg[1]);
      if (option == nullptr) throw TOptionError("unknown option " + arg);
    } else if (!rules.Positionals) {
      throw TOptionError("unexpected argument \"" + arg + "\"");
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TOptionError("unknown option " + arg);
    } else {
      result.Positionals.push_back(arg);
      continue;
    }
    const std::string name = option->Name;
    if (option->Arg != nullptr && !has_value) {
      if (i + 1 >= args.size()) throw TOptionError("--" + name + " needs a value " + option->Arg);
      value = args[++i];
    } else if (option->Arg == nullptr && has_value) {
      throw TOptionError("--" + name + " takes no value");
    }
    if (!result.Given.insert(name).second && !rules.Repeatable.count(name)) {
      throw TOptionError("--" + name + " given twice");
    }
    if (!on_option(*option, value)) break;
  }
  return result;
}

int64_t ParseWholeNumber(const std::string& name, const std::string& text, int64_t lo, int64_t hi) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) {
    throw TOptionError("--" + name + " wants a whole number from " + std::to_string(lo) + " to " +
                       std::to_string(hi) + ", not \"" + text + "\"");
  }
  return v;
}

double ParseNumber(const std::string& name, const std::string& text, double lo, double hi) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v >= lo && v <= hi)) {
    throw TOptionError("--" + name + " wants a number from " + std::to_string(lo) + " to " +
                       std::to_string(hi) + ", not \"" + text + "\"");
  }
  return v;
}

void AppendOptionHelp(std::ostream& out, TOptionTable table, size_t indent) {
  for (const TOptionSpec& o : table) {
    if (o.Name[0] == '\0') {
      out << "\n" << o.Help << "\n";
      continue;
    }
    std::string left = "  ";
    left += o.Short ? std::string("-") + o.Short + ", " : std::string("    ");
    left += std::string("--") + o.Name;
    if (o.Arg) left += std::string(" ") + o.Arg;
    out << left;
    AppendWrapped(out, left.size(), indent, o.Help);
  }
}

void AppendWrapped(std::ostream& out, size_t column, size_t indent, const std::string& text) {
  if (column >= indent) {
    out << "\n";
    column = 0;
  }
  std::istringstream words(text);
  std::string word;
  bool line_start = true;
  while (words >> word) {
    if (!line_start && column + 1 + word.size() > 79) {
      out << "\n";
      column = 0;
      line_start = true;
    }
    if (line_start) {
      out << std::string(indent - column, ' ');
      column = indent;
    } else {
      out << ' ';
      ++column;
    }
    out << word;
    column += word.size();
    line_start = false;
  }
  out << "\n";
}

}  // namespace cli
