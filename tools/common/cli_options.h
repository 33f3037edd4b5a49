// What the command-line tools share: an option table that drives both parsing and the help
// text (so every option is documented), a reader that walks the arguments against it, and
// number parsing whose messages name the option. Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A command line that cannot be run; each tool passes the message on as its own usage error.
class TOptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One row of an option table. A row whose Name is "" is a heading and Help is its text.
struct TOptionSpec {
  const char* Name;
  char Short;       // 0: none
  const char* Arg;  // nullptr: a flag
  const char* Help;
  const char* Example = nullptr;  // a value the option accepts, for the tests
};

using TOptionTable = std::span<const TOptionSpec>;

struct TReadRules {
  std::set<std::string> Repeatable;  // options that may be given more than once
  // Whether arguments that are not options are taken (a lone "--" then ends the options);
  // without, each is refused.
  bool Positionals = false;
};

struct TReadResult {
  std::set<std::string> Given;  // long names of the options read
  std::vector<std::string> Positionals;
};

// Called for each option in order with its value ("" for a flag); returns false to stop
// reading (help, version).
using TOptionHandler = std::function<bool(const TOptionSpec& option, const std::string& value)>;

// Walks args (without the program name): "--name", "--name=value", "--name value", "-x",
// "-x value". Throws TOptionError for an unknown option, a missing or unwanted value, an
// option given twice, or an argument that is not an option where none is taken.
TReadResult ReadArgs(TOptionTable table, const std::vector<std::string>& args,
                     const TReadRules& rules, const TOptionHandler& on_option);

// A whole number from lo to hi, or a TOptionError naming --name.
int64_t ParseWholeNumber(const std::string& name, const std::string& text, int64_t lo, int64_t hi);
// A number from lo to hi, or a TOptionError naming --name.
double ParseNumber(const std::string& name, const std::string& text, double lo, double hi);

// Writes the table: each heading on its own after a blank line, each option as
// "  -x, --name ARG" with its help wrapped from the indent column.
void AppendOptionHelp(std::ostream& out, TOptionTable table, size_t indent);

// Writes text wrapped at 79 columns, each line starting at the indent column; the first
// line goes on after what the caller wrote (column), or on a new line when that is too long.
void AppendWrapped(std::ostream& out, size_t column, size_t indent, const std::string& text);

}  // namespace cli
