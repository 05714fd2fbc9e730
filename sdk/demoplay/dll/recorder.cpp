#include "dll/recorder.h"

#include "DemoPlaySdk.h"

namespace demoplay {

Recorder::~Recorder() {
  std::lock_guard<std::mutex> lock(mutex_);
  DiscardLocked();
}

bool Recorder::active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sink_ != nullptr;
}

int Recorder::Start(const std::string& path, const AviHeaders& headers, bool withAudio) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sink_) return KV_ERR_ALREADY_RECORDING;
  path_ = path;
  temporaryPath_ = path + ".recording";
  auto sink = std::make_unique<Win32FileSink>();
  if (!sink->Create(temporaryPath_)) return KV_ERR_RECORD_FILE;
  writer_ = AviWriter();
  if (!writer_.Begin(sink.get(), headers, withAudio)) {
    sink->Close();
    DeleteFileA(temporaryPath_.c_str());
    return KV_ERR_RECORD_FILE;
  }
  sink_ = std::move(sink);
  failed_ = false;
  return KV_OK;
}

void Recorder::Add(ChunkClass cls, const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!sink_ || failed_) return;
  // A full file (the size limit) keeps what it has; a write error spoils it.
  if (!writer_.AddChunk(cls, data, size) && writer_.failed()) failed_ = true;
}

int Recorder::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!sink_) return KV_ERR_NOT_RECORDING;
  bool complete = !failed_ && writer_.Finish();
  sink_->Close();
  sink_.reset();
  if (!complete) {
    DeleteFileA(temporaryPath_.c_str());
    return KV_ERR_RECORD_FILE;
  }
  // A complete recording that cannot take its name (the name is held by
  // another program) stays under the temporary name rather than being lost.
  if (!MoveFileExA(temporaryPath_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return KV_ERR_RECORD_FILE;
  return KV_OK;
}

void Recorder::DiscardLocked() {
  if (!sink_) return;
  sink_->Close();
  sink_.reset();
  DeleteFileA(temporaryPath_.c_str());
}

}  // namespace demoplay
