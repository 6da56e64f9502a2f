#include "graphics/vxanimestat.h"

#include <mutex>

#include "core/vxstd.h"
#include "core/vxstream.h"
#include "platform/thread.h"

namespace {
constexpr int kHeadSize = 38;
constexpr int kFrameSize = 4;

struct SharedRandom {
  std::mutex lock;
  VXRandom random;
};
SharedRandom& Shared() {
  static SharedRandom shared;
  return shared;
}
}  // namespace

// ---- Table ----------------------------------------------------------------------------------------------------

bool VXAnimeData::Load(VXStream* s) {
  if (s == nullptr) return false;
  Release();
  unsigned char head[kHeadSize];
  if (s->Seek(0, VXSeekBegin) != 0 || s->Read(head, kHeadSize) != kHeadSize) return false;
  VXAnimeInfoHead h{};
  h.version = VXGetLE16(head);
  h.patCount = VXGetLE16(head + 2);
  h.frameCount = VXGetLE16(head + 4);
  for (int g = 0; g < kGroups; ++g) h.groupFrames[g] = VXGetLE16(head + 6 + 2 * g);
  if (h.version != kVersion) return false;
  // One byte more than the frames need is asked for: getting it means the file is too long.
  const int want = kFrameSize * h.frameCount;
  std::vector<unsigned char> body(static_cast<std::size_t>(want) + 1);
  if (s->Read(body.data(), want + 1) != want) return false;
  std::vector<VXAnimeFrame> frames(h.frameCount);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const unsigned char* p = body.data() + kFrameSize * i;
    frames[i] = {p[0], p[1], VXGetLE16(p + 2)};
  }
  ownHead_ = h;
  ownFrames_ = std::move(frames);
  if (SetData(&ownHead_, ownFrames_.data())) return true;
  Release();
  return false;
}

bool VXAnimeData::Set(const VXAnimeInfoHead* head, const VXAnimeFrame* frames) {
  Release();
  return SetData(head, frames);
}

bool VXAnimeData::SetData(const VXAnimeInfoHead* head, const VXAnimeFrame* frames) {
  if (head == nullptr || head->version != kVersion || (frames == nullptr && head->frameCount > 0)) return false;
  std::uint32_t end[kGroups];
  std::uint32_t sum = 0;  // at most 16 x 65535: no overflow
  for (int g = 0; g < kGroups; ++g) {
    if (head->groupFrames[g] > kMaxGroupFrames) return false;
    sum += head->groupFrames[g];
    end[g] = sum;
  }
  // Lookups must stay inside the frames the table holds.
  if (sum > head->frameCount) return false;
  std::copy(end, end + kGroups, end_);
  patCount_ = head->patCount;
  frameCount_ = head->frameCount;
  head_ = head;
  frames_ = frames;
  return true;
}

void VXAnimeData::Release() {
  ownFrames_.clear();
  ownFrames_.shrink_to_fit();
  head_ = nullptr;
  frames_ = nullptr;
  patCount_ = frameCount_ = 0;
  std::fill(end_, end_ + kGroups, 0u);
}

int VXAnimeData::GetAnimeCount(int group) const {
  if (!IsEnable() || group < 0 || group >= kGroups) return 0;
  return static_cast<int>(group == 0 ? end_[0] : end_[group] - end_[group - 1]);
}

const VXAnimeFrame* VXAnimeData::GetAnimeFrame(int group, int frame) const {
  if (frame < 0 || frame >= GetAnimeCount(group)) return nullptr;
  const std::uint32_t first = group == 0 ? 0 : end_[group - 1];
  return frames_ + first + static_cast<std::uint32_t>(frame);
}

// ---- Player ---------------------------------------------------------------------------------------------------

void VXCustomAnimeStat::InitStat() {
  StartGroup(0);
  once_ = 0;
  modified_ = 1;
  pause_ = 0;
}

bool VXCustomAnimeStat::StartGroup(int group) {
  if (group < 0 || group >= GetGroupMax()) return false;
  elapsed_ = 0;
  group_ = static_cast<std::uint8_t>(group);
  frame_ = 0;
  if (IsEnable() && GetAnimeCount(group) > 0) {
    StartFrame(0);
  } else {
    Hold();
    modified_ = 1;
  }
  once_ = 0;
  return true;
}

bool VXCustomAnimeStat::StartFrame(int frame) {
  if (!IsEnable()) return false;
  const VXAnimeFrame* f = GetAnimeFrame(group_, frame);
  if (f == nullptr) {
    Hold();
    modified_ = 1;
    return true;
  }
  const std::uint8_t before = pattern_;
  frame_ = static_cast<std::uint8_t>(frame);
  action_ = f->action;
  pattern_ = f->pattern;
  wait_ = f->wait;
  // A random wait below 0 ticks is no wait at all.
  if (action_ == 2) wait_ = wait_ == 0 ? 0 : static_cast<std::uint16_t>(MakeRandom(wait_));
  if (pattern_ == before) return false;
  modified_ = 1;
  return true;
}

bool VXCustomAnimeStat::CallFrame(int ticks) {
  if (!IsEnable() || pause_ != 0) return false;
  bool changed = false;
  if (ticks > 0) elapsed_ += static_cast<std::uint32_t>(ticks);
  for (;;) {
    const std::uint32_t before = elapsed_;
    if (action_ == 0 && wait_ == 0) break;
    if (wait_ <= elapsed_) {
      elapsed_ -= wait_;
      switch (action_) {
        case 0:
          wait_ = 0;
          break;
        case 1:
        case 2:
          if (frame_ + 1 >= GetAnimeCount(group_))
            action_ = 0;
          else
            changed = StartFrame(frame_ + 1) || changed;
          break;
        case 3:
          once_ = 0;
          changed = StartFrame(0) || changed;
          break;
        case 4:
          once_ = 0;
          if (group_ + 1 >= GetGroupMax())
            action_ = 0;
          else
            changed = StartGroup(group_ + 1) || changed;
          break;
        default:  // unknown: hold the frame
          action_ = 0;
          wait_ = 0;
          break;
      }
    }
    if (once_ != 0 && action_ == 0 && wait_ == 0) once_ = 0;
    if (elapsed_ == before) break;
  }
  return changed;
}

VXAnimeStat::VXAnimeStat() {
  SharedRandom& shared = Shared();
  const std::lock_guard hold(shared.lock);
  const auto turns = platform::thread::MonotonicMs() % 4096 + 1;
  for (std::int64_t i = 0; i < turns; ++i) shared.random.Rnd();
}

const VXAnimeFrame* VXAnimeStat::GetAnimeFrame(int group, int frame) {
  return data_ != nullptr ? data_->GetAnimeFrame(group, frame) : nullptr;
}

int VXAnimeStat::MakeRandom(int n) {
  if (n < 1) return 0;
  SharedRandom& shared = Shared();
  const std::lock_guard hold(shared.lock);
  return shared.random.Random(n);
}

int VXAnimeStat::GetAnimeCount(int group) { return data_ != nullptr ? data_->GetAnimeCount(group) : 0; }
