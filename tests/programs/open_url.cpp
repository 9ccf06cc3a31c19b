// Opens its argument with the default application of the URL's scheme;
// exits 0 when the open was accepted, 3 when not.
#include "platform/desktop/URLOpener.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  return platform::openURLWithDefaultApplication(argv[1]) ? 0 : 3;
}
