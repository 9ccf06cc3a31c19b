#pragma once

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>

namespace standin {

// The data folder: every request gets a sequence number in arrival order
// and leaves NNNN-KIND.json there; an upload also leaves its zip as
// NNNN-upload.zip.
class UploadStore {
 public:
  // Uses the folder, creating it with missing parents.
  explicit UploadStore(std::string folder);

  // The next sequence number, from 1.
  int nextSequence() { return ++sequence_; }
  // The path of a file of a request: FOLDER/NNNN-SUFFIX.
  std::string pathFor(int sequence, const std::string& suffix) const;
  // Writes the record atomically (temporary file, then rename); false on failure.
  bool writeRecord(int sequence, const std::string& kind, const nlohmann::ordered_json& record);

 private:
  std::string folder_;
  std::atomic<int> sequence_{0};
};

}  // namespace standin
