#pragma once
// The companion commands' command lines, read one way: an option table that
// the help is printed from (so the help shows the live defaults), one scan
// that refuses what the table does not know, and the readers of numbers and
// lists that every command's options take.

#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vel::cli {

// A command line that cannot be used; the message says what to give instead.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Option {
  std::string name;         // "-o", "--jobs"
  std::string value;        // what it takes, as the help names it ("DIR"); "" for a switch
  std::string help;         // "" keeps an option that only scripts pass out of the help
  std::string defaultText;  // shown after the help as " [default]" when not empty
};

// One line per option that has help: two spaces, the name and its value
// padded to `column` characters (at least one space), the help, the default.
void printOptions(std::ostream& out, const std::vector<Option>& table, size_t column);

// The command line as the table reads it: the arguments that are not
// options, in order, and each option given with its value, in order.
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
  bool help = false;  // -h or --help was given
};
Arguments scanArguments(int argc, const char* const* argv, const std::vector<Option>& table);

// A tool's main: run(argc, argv)'s status, or 1 with "error: ..." on the
// standard error for an error it throws. Memory that runs out in spite of
// the tool's bounds (a ulimit, or other programs) ends the same way, with
// what lowers the cost (memoryAdvice), never as a bare std::bad_alloc.
int runTool(int (*run)(int, char**), int argc, char** argv, const std::string& memoryAdvice);

// Option values. Each refuses, naming the option and the text, what is not
// wholly what it asks for ("8,5", "nan", "1e400", "2e9" for a count).
double numberArg(const std::string& option, const std::string& value);
double positiveArg(const std::string& option, const std::string& value);
// A number within [least, most], in the unit named ("A", "kDa").
double rangeArg(const std::string& option, const std::string& value, double least, double most,
                const std::string& unit);
// Digits only, within [least, most].
long wholeArg(const std::string& option, const std::string& value, long least, long most);
// Exactly `count` numbers separated by commas.
std::vector<double> numbersArg(const std::string& option, const std::string& value, size_t count);
// The parts of a comma-separated list, empty parts left out.
std::vector<std::string> listArg(const std::string& value);

}  // namespace vel::cli
