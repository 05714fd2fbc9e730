// Records the chunks a port plays into an AVI file. The file is written under
// a temporary name next to the final one and renamed when it is complete, so
// that an interrupted recording never leaves a partial file under that name.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "core/avi_writer.h"
#include "dll/win32_file.h"

namespace demoplay {

class Recorder {
 public:
  ~Recorder();
  // KV_OK, or a negative result.
  int Start(const std::string& path, const AviHeaders& headers, bool withAudio);
  int Stop();
  bool active() const;
  // Called on the decoding thread with each chunk as it is played.
  void Add(ChunkClass cls, const uint8_t* data, size_t size);

 private:
  void DiscardLocked();

  mutable std::mutex mutex_;
  std::unique_ptr<Win32FileSink> sink_;
  AviWriter writer_;
  std::string path_, temporaryPath_;
  bool failed_ = false;
};

}  // namespace demoplay
