// The shared argument reader and help layout: what each tool relies on without testing it
// itself (the "--" end of options, repeatable options, stopping early, wrapping).
#include "tools/common/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

namespace cli {
namespace {

const TOptionSpec kTable[] = {
    {"", 0, nullptr, "Things:"},
    {"name", 'n', "TEXT", "a name"},
    {"tag", 't', "TEXT", "a tag, repeatable"},
    {"flag", 'f', nullptr, "a flag"},
    {"help", 'h', nullptr, "stop here"},
};

struct TRead {
  std::vector<std::pair<std::string, std::string>> Options;
  TReadResult Result;
};

TRead Read(const std::vector<std::string>& args, bool positionals) {
  TRead read;
  read.Result = ReadArgs(kTable, args, {.Repeatable = {"tag"}, .Positionals = positionals},
                         [&](const TOptionSpec& option, const std::string& value) {
                           read.Options.emplace_back(option.Name, value);
                           return std::string(option.Name) != "help";
                         });
  return read;
}

TEST(ReadArgs, GivesOptionsInOrderWithTheirValues) {
  const TRead r = Read({"-n", "a", "--tag=x", "--tag", "y", "-f", "in", "-", "--", "-n"}, true);
  const std::vector<std::pair<std::string, std::string>> want{
      {"name", "a"}, {"tag", "x"}, {"tag", "y"}, {"flag", ""}};
  EXPECT_EQ(r.Options, want);
  EXPECT_EQ(r.Result.Positionals, (std::vector<std::string>{"in", "-", "-n"}));
  EXPECT_EQ(r.Result.Given, (std::set<std::string>{"name", "tag", "flag"}));
}

TEST(ReadArgs, StopsWhenTheHandlerSaysSo) {
  const TRead r = Read({"--help", "--bogus", "-n"}, false);
  ASSERT_EQ(r.Options.size(), 1u);
  EXPECT_EQ(r.Options[0].first, "help");
}

TEST(ReadArgs, RefusesWhatCannotBeRead) {
  struct TCase {
    std::vector<std::string> Args;
    bool Positionals;
    std::string Message;
  };
  const TCase cases[] = {
      {{"--bogus"}, true, "unknown option --bogus"},
      {{"-x"}, false, "unknown option -x"},
      {{"-nx"}, true, "unknown option -nx"},
      {{"-nx"}, false, "unexpected argument \"-nx\""},
      {{"--"}, false, "unknown option --"},
      {{"stray"}, false, "unexpected argument \"stray\""},
      {{"--name"}, true, "--name needs a value TEXT"},
      {{"--flag=1"}, true, "--flag takes no value"},
      {{"-f", "--flag"}, true, "--flag given twice"},
  };
  for (const TCase& c : cases) {
    try {
      Read(c.Args, c.Positionals);
      ADD_FAILURE() << "accepted " << c.Args[0];
    } catch (const TOptionError& e) {
      EXPECT_EQ(e.what(), c.Message);
    }
  }
}

TEST(ParseNumbers, KeepToTheRangeAndNameTheOption) {
  EXPECT_EQ(ParseWholeNumber("n", "-7", -10, 10), -7);
  EXPECT_DOUBLE_EQ(ParseNumber("d", "2.5", 1, 3), 2.5);
  for (const char* bad : {"", "11", "3x", "99999999999999999999"}) {
    EXPECT_THROW(ParseWholeNumber("n", bad, -10, 10), TOptionError) << bad;
  }
  for (const char* bad : {"", "0.5", "nan", "2,5"}) {
    EXPECT_THROW(ParseNumber("d", bad, 1, 3), TOptionError) << bad;
  }
  try {
    ParseWholeNumber("port", "70000", 0, 65535);
    ADD_FAILURE();
  } catch (const TOptionError& e) {
    EXPECT_STREQ(e.what(), "--port wants a whole number from 0 to 65535, not \"70000\"");
  }
}

TEST(Help, WrapsAtColumn79FromTheIndent) {
  std::ostringstream out;
  out << "  --x";
  AppendWrapped(out, 5, 10, std::string(60, 'a') + " " + std::string(20, 'b') + " c");
  EXPECT_EQ(out.str(),
            "  --x     " + std::string(60, 'a') + "\n          " + std::string(20, 'b') + " c\n");

  std::ostringstream table;
  AppendOptionHelp(table, kTable, 14);
  EXPECT_EQ(table.str(),
            "\nThings:\n"
            "  -n, --name TEXT\n              a name\n"
            "  -t, --tag TEXT\n              a tag, repeatable\n"
            "  -f, --flag  a flag\n"
            "  -h, --help  stop here\n");
}

}  // namespace
}  // namespace cli
