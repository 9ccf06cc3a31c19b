#include "console/Console.h"

#include <cstdlib>

bool debugMode = false;

void failWithTitleAndReason(const std::string& title, const std::string& reason) {
  QVXLog("%@\n\n%@", title, reason);
  exit(1);
}
