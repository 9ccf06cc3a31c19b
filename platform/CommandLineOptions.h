#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// One long option a program accepts: --NAME, or --NAME VALUE (also
// --NAME=VALUE) when it takes a value; `id` tells the options apart.
struct LongOption {
  const char* name;
  bool takesValue;
  int id;
};

// What a command line holds: the options in the order given, then the
// operands; or the first usage error, as a sentence naming the option.
struct ParsedCommandLine {
  struct Option {
    int id;
    std::string value;  // empty for an option without value
  };
  std::vector<Option> options;
  std::vector<std::string> operands;
  std::optional<std::string> error;
};

// Parses the arguments after the program name with getopt_long, long
// options only, operands after the options or among them ("--" ends the
// options). Prints nothing.
ParsedCommandLine parseLongOptions(int argc, char** argv, const std::vector<LongOption>& options);

}  // namespace platform
