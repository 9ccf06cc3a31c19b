// Logs from several threads at once, for the console tests: each record is
// "T<thread> R<record> " followed by a long run of the thread's letter.
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "console/Console.h"

int main(int argc, char** argv) {
  int threads = argc > 1 ? atoi(argv[1]) : 8;
  int records = argc > 2 ? atoi(argv[2]) : 200;
  size_t length = argc > 3 ? strtoul(argv[3], nullptr, 10) : 10000;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([=] {
      std::string body(length, static_cast<char>('a' + t % 26));
      for (int r = 0; r < records; ++r) QVXLog("T%i R%i %@", t, r, body);
    });
  }
  for (auto& w : workers) w.join();
  return 0;
}
