#include "platform/CommandLineOptions.h"

#include <getopt.h>

namespace platform {

namespace {

std::vector<option> getoptTable(const std::vector<LongOption>& options) {
  std::vector<option> table;
  for (const auto& each : options)
    table.push_back(
        {each.name, each.takesValue ? required_argument : no_argument, nullptr, each.id});
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
}

std::string usageError(int code, int argc, char** argv, int index) {
  const std::string argument = index > 0 && index <= argc ? argv[index - 1] : "";
  if (code == ':') return "option " + argument + " requires a value";
  return "unknown option " + argument;
}

}  // namespace

ParsedCommandLine parseLongOptions(int argc, char** argv, const std::vector<LongOption>& options) {
  ParsedCommandLine parsed;
  const std::vector<option> table = getoptTable(options);
  opterr = 0;
  optind = 1;
  for (;;) {
    const int code = getopt_long(argc, argv, ":", table.data(), nullptr);
    if (code == -1) break;
    if (code == '?' || code == ':') {
      parsed.error = usageError(code, argc, argv, optind);
      return parsed;
    }
    parsed.options.push_back({code, optarg ? optarg : ""});
  }
  for (int i = optind; i < argc; ++i) parsed.operands.emplace_back(argv[i]);
  return parsed;
}

}  // namespace platform
