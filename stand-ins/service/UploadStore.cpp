#include "stand-ins/service/UploadStore.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace standin {

UploadStore::UploadStore(std::string folder) : folder_(std::move(folder)) {
  std::error_code ignored;
  std::filesystem::create_directories(folder_, ignored);
}

std::string UploadStore::pathFor(int sequence, const std::string& suffix) const {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", sequence);
  return folder_ + "/" + number + "-" + suffix;
}

bool UploadStore::writeRecord(int sequence, const std::string& kind,
                              const nlohmann::ordered_json& record) {
  std::string path = pathFor(sequence, kind + ".json");
  std::string temporary = path + ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << record.dump(2) << "\n";
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  return !error;
}

}  // namespace standin
