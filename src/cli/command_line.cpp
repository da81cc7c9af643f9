// Reading the companion commands' command lines.

#include "velmorantique/command_line.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <new>
#include <sstream>

namespace vel::cli {

void printOptions(std::ostream& out, const std::vector<Option>& table, size_t column) {
  for (const Option& o : table) {
    if (o.help.empty()) continue;
    const std::string left = o.name + (o.value.empty() ? "" : " " + o.value);
    out << "  " << left << std::string(left.size() < column ? column - left.size() : 1, ' ') << o.help;
    if (!o.defaultText.empty()) out << " [" << o.defaultText << "]";
    out << "\n";
  }
}

Arguments scanArguments(int argc, const char* const* argv, const std::vector<Option>& table) {
  Arguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      a.help = true;
      continue;
    }
    if (arg.empty() || arg[0] != '-') {
      a.positional.push_back(arg);
      continue;
    }
    const Option* option = nullptr;
    for (const Option& t : table)
      if (arg == t.name) option = &t;
    if (!option) throw UsageError("unknown option " + arg + " (see --help)");
    std::string value;
    if (!option->value.empty()) {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value: " + option->value);
      value = argv[++i];
    }
    a.options.emplace_back(arg, value);
  }
  return a;
}

int runTool(int (*run)(int, char**), int argc, char** argv, const std::string& memoryAdvice) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "error: out of memory: the input asks for more memory than this process can get (a ulimit, or other programs holding it); " << memoryAdvice
              << "\n";
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << "\n";
  }
  return 1;
}

double numberArg(const std::string& option, const std::string& value) {
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(v)) throw UsageError(option + " needs a number, not '" + value + "'");
  return v;
}

double positiveArg(const std::string& option, const std::string& value) {
  const double v = numberArg(option, value);
  if (!(v > 0)) throw UsageError(option + " needs a positive number, not '" + value + "'");
  return v;
}

double rangeArg(const std::string& option, const std::string& value, double least, double most,
                const std::string& unit) {
  const double v = numberArg(option, value);
  if (!(v >= least && v <= most)) {
    std::ostringstream range;
    range << option << " needs a number from " << least << " to " << most << " " << unit << ", not '" << value << "'";
    throw UsageError(range.str());
  }
  return v;
}

long wholeArg(const std::string& option, const std::string& value, long least, long most) {
  const bool digits = !value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string::npos;
  const long v = digits ? std::stol(value) : -1;
  if (!digits || v < least || v > most)
    throw UsageError(option + " needs a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                     ", not '" + value + "'");
  return v;
}

std::vector<double> numbersArg(const std::string& option, const std::string& value, size_t count) {
  std::vector<double> out;
  std::stringstream s(value);
  std::string part;
  while (std::getline(s, part, ',')) out.push_back(numberArg(option, part));
  if (out.size() != count)
    throw UsageError(option + " needs " + std::to_string(count) + " numbers separated by commas, not '" + value + "'");
  return out;
}

std::vector<std::string> listArg(const std::string& value) {
  std::vector<std::string> parts;
  std::stringstream s(value);
  std::string part;
  while (std::getline(s, part, ','))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace vel::cli
