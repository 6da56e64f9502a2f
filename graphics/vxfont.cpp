#include "graphics/vxfont.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/vxhash.h"
#include "core/vxsys.h"
#include "platform/text.h"

namespace pf = platform::font;

namespace {

// One font of the pool and the parameters it was made for.
struct VXFontEntry {
  HFONT font;
  unsigned char charset = 0;
  char name[kVXFontNameBytes + 1] = {};
  std::uint16_t hash = 0;
  int height = 0;
  VXFontPitch pitch = vfpDefault;
  std::uint32_t style = 0;
  VXFontQuality quality = vfqDefault;
  std::uint32_t count = 0;

  bool SameParameters(const VXFontEntry& e) const {
    return charset == e.charset && hash == e.hash && std::strcmp(name, e.name) == 0 && height == e.height &&
           pitch == e.pitch && style == e.style && quality == e.quality;
  }
};

struct Pool {
  std::mutex lock;
  std::vector<std::unique_ptr<VXFontEntry>> entries;  // creation order
};

// Never destroyed: fonts held by objects that go during the exit still find their pool.
Pool& ThePool() {
  static Pool* pool = new Pool;
  return *pool;
}

VXFontEntry EntryFor(const VXFontParam& p) {
  VXFontEntry e;
  const std::string name = VXFontRecordName(p.name);
  std::memcpy(e.name, name.data(), name.size());
  e.hash = static_cast<std::uint16_t>(VXCalcHashMul16(e.name));
  e.charset = p.charset, e.height = p.height, e.pitch = p.pitch;
  e.style = static_cast<std::uint32_t>(p.style.to_ulong()), e.quality = p.quality;
  return e;
}

HFONT Acquire(const VXFontParam& param) {
  VXFontEntry wanted = EntryFor(param);
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> guard(pool.lock);
  for (auto& e : pool.entries)
    if (e->SameParameters(wanted)) {
      ++e->count;
      return e->font;
    }
  wanted.font = pf::Font::Create(VXMakeLogFont(param));
  if (!wanted.font) return nullptr;
  wanted.count = 1;
  pool.entries.push_back(std::make_unique<VXFontEntry>(std::move(wanted)));
  return pool.entries.back()->font;
}

// One more holder of a pooled font (a copy of a created VXFont).
void AddRef(const HFONT& font) {
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> guard(pool.lock);
  for (auto& e : pool.entries)
    if (e->font == font) {
      ++e->count;
      return;
    }
}

void ReleaseFont(const HFONT& font) {
  if (!font) return;
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> guard(pool.lock);
  const auto it = std::find_if(pool.entries.begin(), pool.entries.end(),
                               [&](const auto& e) { return e->font == font; });
  if (it == pool.entries.end()) return;
  if (--(*it)->count == 0) pool.entries.erase(it);
}

bool ValidStyleBit(int bit) { return bit >= 0 && bit < 4; }

}  // namespace

std::string VXFontRecordName(const VXString& name) {
  const std::string_view s(name.c_str(), static_cast<std::size_t>(name.Length()));
  std::size_t end = 0;
  while (end < s.size() && s[end] != '\0') {
    const std::size_t step = platform::text::IsCp932LeadByte(static_cast<unsigned char>(s[end])) ? 2 : 1;
    if (end + step > static_cast<std::size_t>(kVXFontNameBytes)) break;
    end += step;
  }
  return std::string(s.substr(0, std::min(end, s.size())));
}

pf::LogFont VXMakeLogFont(const VXFontParam& p) {
  static constexpr std::uint8_t kPitchAndFamily[] = {pf::kDefaultPitch, pf::kVariablePitch, pf::kFixedPitch};
  pf::LogFont log;
  log.height = p.height;
  log.weight = p.style.test(vfsBold) ? pf::kBoldWeight : pf::kNormalWeight;
  log.italic = p.style.test(vfsItalic);
  log.underline = p.style.test(vfsUnderline);
  log.strikeOut = p.style.test(vfsStrikeOut);
  log.charset = p.charset;
  log.quality = p.quality <= vfqAntialiased ? static_cast<std::uint8_t>(p.quality) : pf::kDefaultQuality;
  log.pitchAndFamily = p.pitch <= vfpFixed ? kPitchAndFamily[p.pitch] : pf::kDefaultPitch;
  log.faceName = VXFontRecordName(p.name);
  if (VXString(log.faceName.c_str()).UpperCase() == VXString("DEFAULT")) log.faceName = "MS UI Gothic";
  return log;
}

VXFontParam VXFontParamFromTFont(const Graphics::TFont& font, VXFontQuality quality) {
  static constexpr VXFontPitch kPitch[] = {vfpDefault, vfpVariable, vfpFixed};  // by TFontPitch
  VXFontParam p;
  p.charset = font.GetCharset();
  p.name = font.GetName().c_str();
  p.height = font.GetHeight();
  p.pitch = font.GetPitch() <= Graphics::fpFixed ? kPitch[font.GetPitch()] : vfpDefault;
  p.style = font.GetStyle();  // the framework's style bits are ours
  p.quality = quality;
  return p;
}

// ---------------------------------------------------------------------------------------------------------------

VXFont::VXFont(const VXFont& other) : param_(other.param_) {
  if (other.handle_) {
    AddRef(other.handle_);
    handle_ = other.handle_;
  }
}

VXFont::~VXFont() { Release(); }

VXFont& VXFont::operator=(const VXFont& other) {
  if (this == &other || (handle_ && handle_ == other.handle_)) return *this;
  param_ = other.param_;
  if (!other.handle_) {
    Release();
    return *this;
  }
  Deselect();
  AddRef(other.handle_);
  HFONT old = std::move(handle_);
  handle_ = other.handle_;
  ReleaseFont(old);
  Reselect();
  return *this;
}

VXFont& VXFont::operator=(const VXFontParam& param) {
  param_ = param;
  RenewHandle();
  return *this;
}

bool VXFont::Create() {
  if (!handle_) handle_ = Acquire(param_);
  return handle_ != nullptr;
}

void VXFont::Release() {
  EndTextOut();
  ReleaseFont(handle_);
  handle_ = nullptr;
}

void VXFont::RenewHandle() {
  if (!handle_) return;
  Deselect();
  HFONT fresh = Acquire(param_);  // before the old one goes, so that equal parameters keep their font
  ReleaseFont(handle_);
  handle_ = std::move(fresh);
  Reselect();
}

void VXFont::Deselect() {
  if (dc_ != nullptr) dc_->SelectFont(previous_);
}

void VXFont::Reselect() {
  if (dc_ != nullptr && handle_) previous_ = dc_->SelectFont(handle_);
}

void VXFont::SetCharset(unsigned char charset) {
  param_.charset = charset;
  RenewHandle();
}

void VXFont::SetName(const VXString& name) {
  param_.name = name;
  RenewHandle();
}

void VXFont::SetHeight(int height) {
  param_.height = height;
  RenewHandle();
}

void VXFont::SetPitch(VXFontPitch pitch) {
  param_.pitch = pitch;
  RenewHandle();
}

void VXFont::SetStyle(VXFontStyle style) {
  param_.style = style;
  RenewHandle();
}

void VXFont::SetQuality(VXFontQuality quality) {
  param_.quality = quality;
  RenewHandle();
}

bool VXFont::CheckStyle(int bit) const { return ValidStyleBit(bit) && param_.style.test(bit); }

void VXFont::AddStyle(int bit) {
  if (!ValidStyleBit(bit)) return;
  param_.style.set(bit);
  RenewHandle();
}

void VXFont::DelStyle(int bit) {
  if (!ValidStyleBit(bit)) return;
  param_.style.reset(bit);
  RenewHandle();
}

void VXFont::CopyFromTFont(const Graphics::TFont* font) {
  if (font == nullptr) return;
  param_ = VXFontParamFromTFont(*font, param_.quality);
  RenewHandle();
}

void VXFont::CopyFromTFont(const Graphics::TFont* font, VXFontQuality quality) {
  param_.quality = quality;
  CopyFromTFont(font);
}

void VXFont::CopyFromHandle(const HFONT& font) {
  if (!font || font == handle_) return;
  static constexpr VXFontPitch kPitch[] = {vfpDefault, vfpFixed, vfpVariable, vfpDefault};  // by the low 2 bits
  const pf::LogFont& log = font->Log();
  param_.charset = log.charset;
  param_.name = log.faceName.c_str();
  param_.height = log.height;
  param_.pitch = kPitch[log.pitchAndFamily & 3];
  param_.style.reset();
  param_.style.set(vfsBold, log.weight == pf::kBoldWeight);
  param_.style.set(vfsItalic, log.italic);
  param_.style.set(vfsUnderline, log.underline);
  param_.style.set(vfsStrikeOut, log.strikeOut);
  param_.quality = log.quality >= 1 && log.quality <= 4 ? static_cast<VXFontQuality>(log.quality) : vfqDefault;
  RenewHandle();
}

bool VXFont::StartTextOut(pf::TextTarget* dc, std::uint32_t colour) {
  if (!handle_ || dc == nullptr) return false;
  EndTextOut();
  dc_ = dc;
  previous_ = dc_->SelectFont(handle_);
  dc_->SetBackgroundMode(pf::BackgroundMode::kTransparent);
  dc_->SetTextColor(DWORD2COLORREF(colour));
  return true;
}

void VXFont::EndTextOut() {
  if (dc_ == nullptr) return;
  dc_->SelectFont(std::move(previous_));
  previous_ = nullptr;
  dc_ = nullptr;
}

void VXFont::SetColor(std::uint32_t colour) {
  if (dc_ != nullptr) dc_->SetTextColor(DWORD2COLORREF(colour));
}

bool VXFont::Write(int x, int y, const char* text, int n) {
  if (dc_ == nullptr || !handle_ || text == nullptr || n < 0) return false;
  return dc_->TextOut(x, y, std::string_view(text, static_cast<std::size_t>(n)));
}

bool VXFont::Write(int x, int y, const VXString& text) { return Write(x, y, text.c_str(), text.Length()); }

bool VXFont::GetExtentPoint(const char* text, int n, VXSize* size) const {
  if (dc_ == nullptr || !handle_ || text == nullptr || n < 0 || size == nullptr) return false;
  return dc_->GetTextExtentPoint(std::string_view(text, static_cast<std::size_t>(n)), size);
}

bool VXFont::GetExtentPoint(const VXString& text, VXSize* size) const {
  return GetExtentPoint(text.c_str(), text.Length(), size);
}

int _VXDBG_GetFontSize() {
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> guard(pool.lock);
  return static_cast<int>(pool.entries.size());
}

int _VXDBG_GetFontList(VXFontParam* out, int max) {
  if (out == nullptr) return 0;
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> guard(pool.lock);
  int n = 0;
  for (const auto& e : pool.entries) {
    if (n >= max) break;
    VXFontParam& p = out[n++];
    p.charset = e->charset, p.name = e->name, p.height = e->height, p.pitch = e->pitch;
    p.style = VXFontStyle(e->style), p.quality = e->quality;
  }
  return n;
}
