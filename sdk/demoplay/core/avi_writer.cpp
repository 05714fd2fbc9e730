#include "core/avi_writer.h"

#include <algorithm>

namespace demoplay {
namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr size_t kStrhSize = 56;

void Put32(std::vector<uint8_t>* b, uint32_t v) {
  uint8_t t[4];
  PutLe32(t, v);
  b->insert(b->end(), t, t + 4);
}

void PutChunk(std::vector<uint8_t>* b, uint32_t id, const std::vector<uint8_t>& body) {
  Put32(b, id);
  Put32(b, uint32_t(body.size()));
  b->insert(b->end(), body.begin(), body.end());
  if (body.size() & 1) b->push_back(0);
}

}  // namespace

bool AviWriter::Begin(ByteSink* sink, const AviHeaders& source, bool withAudio) {
  sink_ = sink;
  withAudio_ = withAudio && source.hasAudio;
  const VideoStreamInfo& v = source.video;
  const bool raw = v.compression == 0;
  videoId_ = FourCc('0', '0', 'd', raw ? 'b' : 'c');
  audioId_ = FourCc('0', '1', 'w', 'b');
  audioBlockAlign_ = withAudio_ && source.audio.blockAlign ? source.audio.blockAlign : 1;

  std::vector<uint8_t> h;
  Put32(&h, kFccRiff);
  Put32(&h, 0);  // patched
  Put32(&h, kFccAvi);
  size_t hdrlSizeAt = h.size() + 4;
  Put32(&h, kFccList);
  Put32(&h, 0);  // patched below
  Put32(&h, kFccHdrl);

  std::vector<uint8_t> avih(56, 0);
  PutLe32(&avih[0], uint32_t(std::min<uint64_t>(source.FrameMicroseconds(), 0xFFFFFFFFu)));
  PutLe32(&avih[12], kAvifHasIndex);
  PutLe32(&avih[24], withAudio_ ? 2 : 1);
  PutLe32(&avih[28], v.suggestedBufferSize);
  PutLe32(&avih[32], uint32_t(v.width));
  PutLe32(&avih[36], uint32_t(v.height < 0 ? -v.height : v.height));
  Put32(&h, kFccAvih);
  Put32(&h, uint32_t(avih.size()));
  totalFramesAt_ = h.size() + 16;
  h.insert(h.end(), avih.begin(), avih.end());

  auto putStream = [&](const std::vector<uint8_t>& strhIn, const std::vector<uint8_t>& strf, uint32_t type,
                       uint64_t* lengthAt) {
    std::vector<uint8_t> strh(kStrhSize, 0);
    std::copy_n(strhIn.begin(), std::min(strhIn.size(), kStrhSize), strh.begin());
    PutLe32(&strh[0], type);
    PutLe32(&strh[28], 0);  // start
    PutLe32(&strh[32], 0);  // length, patched
    std::vector<uint8_t> strl;
    Put32(&strl, kFccStrl);
    Put32(&strl, kFccStrh);
    Put32(&strl, uint32_t(strh.size()));
    size_t lengthInStrl = strl.size() + 32;
    strl.insert(strl.end(), strh.begin(), strh.end());
    PutChunk(&strl, kFccStrf, strf);
    Put32(&h, kFccList);
    Put32(&h, uint32_t(strl.size()));
    *lengthAt = h.size() + lengthInStrl;
    h.insert(h.end(), strl.begin(), strl.end());
  };
  putStream(v.strh, v.strf, kFccVids, &videoLengthAt_);
  if (withAudio_) putStream(source.audio.strh, source.audio.strf, kFccAuds, &audioLengthAt_);
  PutLe32(&h[hdrlSizeAt], uint32_t(h.size() - hdrlSizeAt - 4));

  Put32(&h, kFccList);
  moviSizeAt_ = h.size();
  Put32(&h, 0);  // patched
  moviListAt_ = h.size();
  Put32(&h, kFccMovi);
  riffSizeAt_ = 4;
  failed_ = !sink_->Append(h.data(), h.size());
  return !failed_;
}

bool AviWriter::AddChunk(ChunkClass cls, const uint8_t* data, size_t size) {
  if (failed_ || !sink_ || cls == ChunkClass::kOther || (cls == ChunkClass::kAudio && !withAudio_)) return false;
  // Room for this chunk and its index entry, and for the entries so far.
  uint64_t after = sink_->Position() + 8 + size + (size & 1) + 8 + (index_.size() + 1) * 16;
  if (after > kMaxRecordingBytes) return false;
  Entry e;
  e.id = cls == ChunkClass::kVideo ? videoId_ : audioId_;
  e.flags = kAviifKeyframe;
  e.offset = uint32_t(sink_->Position() - moviListAt_);
  e.size = uint32_t(size);
  uint8_t head[8];
  PutLe32(head, e.id);
  PutLe32(head + 4, e.size);
  static const uint8_t kPad = 0;
  if (!sink_->Append(head, 8) || !sink_->Append(data, size) || ((size & 1) && !sink_->Append(&kPad, 1))) {
    failed_ = true;
    return false;
  }
  index_.push_back(e);
  largestChunk_ = std::max(largestChunk_, uint32_t(size));
  if (cls == ChunkClass::kVideo)
    ++videoFrames_;
  else
    audioBytes_ += size;
  return true;
}

bool AviWriter::Finish() {
  if (failed_ || !sink_) return false;
  uint64_t moviEnd = sink_->Position();
  std::vector<uint8_t> idx;
  Put32(&idx, kFccIdx1);
  Put32(&idx, uint32_t(index_.size() * 16));
  for (const Entry& e : index_) {
    Put32(&idx, e.id);
    Put32(&idx, e.flags);
    Put32(&idx, e.offset);
    Put32(&idx, e.size);
  }
  if (!sink_->Append(idx.data(), idx.size())) return false;
  uint64_t end = sink_->Position();
  uint8_t v[4];
  auto patch = [&](uint64_t at, uint32_t value) {
    PutLe32(v, value);
    return sink_->Patch(at, v, 4);
  };
  bool ok = patch(riffSizeAt_, uint32_t(end - 8)) && patch(moviSizeAt_, uint32_t(moviEnd - moviListAt_)) &&
            patch(totalFramesAt_, videoFrames_) && patch(videoLengthAt_, videoFrames_);
  if (ok && withAudio_) ok = patch(audioLengthAt_, uint32_t(audioBytes_ / audioBlockAlign_));
  return ok;
}

}  // namespace demoplay
