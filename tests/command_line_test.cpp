#include "velmorantique/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace vel::cli;

namespace {

const std::vector<Option> kTable = {
    {"-o", "DIR", "output folder", ""},
    {"--jobs", "N", "parallel runs", "2"},
    {"--force", "", "rerun", ""},
    {"--task", "K", "", ""},
};

}  // namespace

TEST(CommandLine, ScansPositionalsOptionsAndHelpInOrder) {
  const char* argv[] = {"prog", "a", "--jobs", "3", "b", "--force", "-h", "-o", "--jobs"};
  const Arguments args = scanArguments(9, argv, kTable);
  EXPECT_EQ(args.positional, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(args.options.size(), 3u);
  EXPECT_EQ(args.options[0], std::make_pair(std::string("--jobs"), std::string("3")));
  EXPECT_EQ(args.options[1], std::make_pair(std::string("--force"), std::string()));
  EXPECT_EQ(args.options[2], std::make_pair(std::string("-o"), std::string("--jobs")));  // a value may look like an option
  EXPECT_TRUE(args.help);
}

TEST(CommandLine, HelpListsOnlyOptionsWithHelpAndTheirDefaults) {
  std::ostringstream out;
  printOptions(out, kTable, 10);
  EXPECT_EQ(out.str(), "  -o DIR    output folder\n  --jobs N  parallel runs [2]\n  --force   rerun\n");
}

TEST(CommandLine, RefusesWhatItCannotUseNamingTheOptionAndText) {
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[] { const char* a[] = {"p", "--bogus"}; scanArguments(2, a, kTable); }, "unknown option --bogus (see --help)"},
      {[] { const char* a[] = {"p", "--jobs"}; scanArguments(2, a, kTable); }, "--jobs needs a value: N"},
      {[] { numberArg("--x", "8,5"); }, "--x needs a number, not '8,5'"},
      {[] { numberArg("--x", "1e400"); }, "--x needs a number, not '1e400'"},
      {[] { numberArg("--x", ""); }, "--x needs a number, not ''"},
      {[] { positiveArg("--x", "0"); }, "--x needs a positive number, not '0'"},
      {[] { wholeArg("--n", "2e9", 1, 9); }, "--n needs a whole number from 1 to 9, not '2e9'"},
      {[] { wholeArg("--n", "1.5", 1, 9); }, "--n needs a whole number from 1 to 9, not '1.5'"},
      {[] { wholeArg("--n", "10", 1, 9); }, "--n needs a whole number from 1 to 9, not '10'"},
      {[] { numbersArg("--box", "1,,2", 3); }, "--box needs a number, not ''"},
      {[] { numbersArg("--box", "1,2", 3); }, "--box needs 3 numbers separated by commas, not '1,2'"},
  };
  for (const auto& [call, message] : cases) {
    try {
      call();
      ADD_FAILURE() << "accepted: " << message;
    } catch (const UsageError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
  EXPECT_EQ(wholeArg("--n", "9", 1, 9), 9);
  EXPECT_EQ(listArg("A,,B,"), (std::vector<std::string>{"A", "B"}));
}
