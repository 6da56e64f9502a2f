// Animation tables and their players: a table holds up to 16 groups of frames; each frame names a pattern (a
// block of a picture), a wait in ticks and an action that says what follows when the wait has run out.
//
// Table file, little-endian: version u16 (0x0100), pattern count u16, frame count F u16, frames per group
// 16 x u16, then F frames of {action u8, pattern u8, wait u16}. The frames of group g follow those of groups
// 0 .. g - 1. A table is refused when its size is not exactly 38 + 4F, when its groups claim more frames than it
// holds, or when a group has more than 256 frames (a player addresses frames by one byte).
//
// Actions: 0 hold; 1 next frame of the group (hold at its last); 2 as 1 with a wait drawn at random in
// 0 .. wait - 1; 3 back to the group's frame 0; 4 frame 0 of the next group (hold after group 15). An unknown
// action holds.
#pragma once

#include <cstdint>
#include <vector>

class VXStream;

struct VXAnimeInfoHead {
  std::uint16_t version;
  std::uint16_t patCount;
  std::uint16_t frameCount;
  std::uint16_t groupFrames[16];
};
static_assert(sizeof(VXAnimeInfoHead) == 38);

struct VXAnimeFrame {
  std::uint8_t action;
  std::uint8_t pattern;
  std::uint16_t wait;
};
static_assert(sizeof(VXAnimeFrame) == 4);

class VXAnimeData {
public:
  static constexpr int kGroups = 16;
  static constexpr std::uint16_t kVersion = 0x0100;
  static constexpr int kMaxGroupFrames = 256;

  VXAnimeData() = default;
  ~VXAnimeData() { Release(); }
  VXAnimeData(const VXAnimeData&) = delete;
  VXAnimeData& operator=(const VXAnimeData&) = delete;

  bool Load(VXStream* s);  // false, with no table, for bad data
  // A table in the caller's memory, which must outlive its use; `frames` holds head->frameCount frames.
  bool Set(const VXAnimeInfoHead* head, const VXAnimeFrame* frames);
  bool SetData(const VXAnimeInfoHead* head, const VXAnimeFrame* frames);
  void Release();

  bool IsEnable() const { return head_ != nullptr; }
  int GetPatCount() const { return IsEnable() ? head_->patCount : 1; }
  int GetAnimeCount(int group) const;  // 0 when not usable or outside 0 .. 15
  const VXAnimeFrame* GetAnimeFrame(int group, int frame) const;  // null outside

private:
  VXAnimeInfoHead ownHead_{};
  std::vector<VXAnimeFrame> ownFrames_;
  std::uint32_t patCount_ = 0;
  std::uint32_t frameCount_ = 0;
  std::uint32_t end_[kGroups] = {};  // running sums of frames per group
  const VXAnimeInfoHead* head_ = nullptr;
  const VXAnimeFrame* frames_ = nullptr;
};

// A player that steps through frames by elapsed ticks.
class VXCustomAnimeStat {
public:
  VXCustomAnimeStat() = default;
  virtual ~VXCustomAnimeStat() = default;

  virtual const VXAnimeFrame* GetAnimeFrame(int group, int frame) = 0;
  virtual int MakeRandom(int n) = 0;  // 0 .. n - 1
  virtual void Clear() {}
  virtual void InitStat();  // group 0 from its start, not paused
  virtual int GetGroupMax() = 0;
  virtual bool IsEnable() = 0;
  virtual int GetAnimeCount(int group) = 0;

  int GetGroup() const { return group_; }
  int GetFrame() const { return frame_; }
  int GetPattern() const { return pattern_; }
  bool GetPause() const { return pause_ != 0; }
  void SetPause(bool on) { pause_ = on ? 1 : 0; }
  bool CheckModified() const { return modified_ != 0; }  // set whenever the shown pattern changes
  void SetOnceFlag() { once_ = 1; }
  bool CheckOnceFlag() const { return once_ != 0; }

  bool StartGroup(int group);  // false outside 0 .. GetGroupMax() - 1
  bool StartFrame(int frame);  // whether the shown pattern changed
  bool CallFrame(int ticks);   // advances; whether the shown pattern changed

private:
  void Hold() {
    action_ = 0;
    pattern_ = 0;
    wait_ = 0;
  }

  std::uint8_t modified_ = 1;
  std::uint8_t pause_ = 0;
  std::uint8_t group_ = 0;
  std::uint8_t frame_ = 0;
  std::uint8_t action_ = 0;
  std::uint8_t pattern_ = 0;
  std::uint16_t wait_ = 0;
  std::uint32_t elapsed_ = 0;
  std::uint8_t once_ = 0;
};

// The player over a VXAnimeData (not owned). Random waits come from one generator shared by all players, advanced
// at each player's construction by the clock so that players made at different times draw different waits.
class VXAnimeStat : public VXCustomAnimeStat {
public:
  VXAnimeStat();

  void SetAnimeData(VXAnimeData* data) { data_ = data; }
  VXAnimeData* GetAnimeData() const { return data_; }

  const VXAnimeFrame* GetAnimeFrame(int group, int frame) override;
  int MakeRandom(int n) override;
  int GetGroupMax() override { return VXAnimeData::kGroups; }
  bool IsEnable() override { return data_ != nullptr && data_->IsEnable(); }
  int GetAnimeCount(int group) override;

private:
  VXAnimeData* data_ = nullptr;
};
