#include "common/scratch_directory.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace testcommon {
namespace {

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "vdscratch_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(counter++);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDirectory::~ScratchDirectory() { RemoveTree(path_); }

std::string ScratchDirectory::File(const std::string& name) const { return path_ + "\\" + name; }

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory = path;
  return directory.substr(0, directory.find_last_of("\\/"));
}

bool CopyInto(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes) {
  bytes->clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char block[65536];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes->insert(bytes->end(), block, block + n);
  std::fclose(f);
  return true;
}

}  // namespace testcommon
