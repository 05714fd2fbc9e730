// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <string>
#include <vector>

namespace testcommon {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  // path() + "\\" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The directory of the running test program (where the build puts every binary).
std::string ProgramDirectory();
bool CopyInto(const std::string& from, const std::string& to);
bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes);

}  // namespace testcommon
