#include "core/vxstring.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "platform/text.h"

namespace {

constexpr int kFormatBuffer = 1024;  // units, including the terminating NUL

template <class CharT>
struct Registry {
  std::mutex lock;
  std::set<VXStrRep<CharT>*> live;  // ordered by address for the diagnostics
};

// Never destroyed, so strings in global objects may outlive every other static.
template <class CharT>
Registry<CharT>& RegistryOf() {
  static auto* registry = new Registry<CharT>;
  return *registry;
}

template <class CharT>
const std::basic_string<CharT>& EmptyText() {
  static const auto* empty = new std::basic_string<CharT>;
  return *empty;
}

template <class CharT>
bool IsBlank(CharT c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

template <class CharT>
CharT MapLetter(CharT c, bool upper) {
  if (upper && c >= 'a' && c <= 'z') return static_cast<CharT>(c - 'a' + 'A');
  if (!upper && c >= 'A' && c <= 'Z') return static_cast<CharT>(c - 'A' + 'a');
  return c;
}

using platform::text::IsHighSurrogate;
using platform::text::IsLowSurrogate;

// First unit of a two-unit character, judged by value.
bool StartsPairUnit(char c) { return platform::text::IsCp932LeadByte(static_cast<unsigned char>(c)); }
bool StartsPairUnit(char16_t c) { return IsHighSurrogate(c); }

template <class CharT>
int Count(const std::basic_string<CharT>& s) {
  return static_cast<int>(s.size());
}

template <class CharT, class Int>
std::basic_string<CharT> DecimalOf(Int value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::basic_string<CharT>(digits, end);
}

// Clips a 1-based span to a text of `length` units: a start before 1 costs the span the units before 1. A count of 0
// or less afterwards means the span holds nothing.
void ClipSpan(int& index, int& count, int length) {
  if (index < 1) {
    count -= 1 - index;
    index = 1;
  }
  count = std::min(count, length - index + 1);
}

}  // namespace

// ---- Shared representation --------------------------------------------------------------------------------------

namespace vxdetail {

template <class D, class C>
VXStrCore<D, C>::VXStrCore(const VXStrCore& other) : rep_(other.rep_) {
  auto& registry = RegistryOf<C>();
  std::lock_guard guard(registry.lock);
  if (registry.live.contains(rep_)) ++rep_->count;
}

template <class D, class C>
VXStrCore<D, C>::VXStrCore(VXStrCore&& other) noexcept : rep_(other.rep_) {
  other.rep_ = nullptr;
  auto& registry = RegistryOf<C>();
  std::lock_guard guard(registry.lock);
  if (registry.live.contains(rep_) && rep_->owner == other.Actor()) rep_->owner = Actor();
}

template <class D, class C>
VXStrCore<D, C>::~VXStrCore() {
  Release();
}

template <class D, class C>
VXStrCore<D, C>& VXStrCore<D, C>::operator=(const VXStrCore& other) {
  if (rep_ == other.rep_) return *this;
  VXStrCore copy(other);
  Release();
  rep_ = copy.rep_;
  copy.rep_ = nullptr;
  return *this;
}

template <class D, class C>
VXStrCore<D, C>& VXStrCore<D, C>::operator=(VXStrCore&& other) noexcept {
  if (rep_ == other.rep_) return *this;
  Release();
  rep_ = other.rep_;
  other.rep_ = nullptr;
  auto& registry = RegistryOf<C>();
  std::lock_guard guard(registry.lock);
  if (registry.live.contains(rep_) && rep_->owner == other.Actor()) rep_->owner = Actor();
  return *this;
}

template <class D, class C>
void VXStrCore<D, C>::Release() {
  Rep* rep = rep_;
  rep_ = nullptr;
  if (!rep) return;
  auto& registry = RegistryOf<C>();
  {
    std::lock_guard guard(registry.lock);
    if (!registry.live.contains(rep)) return;
    if (rep->owner == Actor()) rep->owner = nullptr;
    if (--rep->count >= 1) return;
    registry.live.erase(rep);
  }
  delete rep;
}

template <class D, class C>
typename VXStrCore<D, C>::Rep* VXStrCore<D, C>::MakeWritable() {
  auto& registry = RegistryOf<C>();
  {
    std::lock_guard guard(registry.lock);
    if (registry.live.contains(rep_) && rep_->count == 1 && (rep_->owner == Actor() || !rep_->owner)) {
      rep_->owner = Actor();
      return rep_;
    }
  }
  auto* fresh = new Rep;
  fresh->owner = Actor();
  // A shared representation is never written in place, so reading it here needs no lock.
  if (rep_) fresh->text = rep_->text;
  {
    std::lock_guard guard(registry.lock);
    registry.live.insert(fresh);
  }
  Release();
  rep_ = fresh;
  return fresh;
}

template <class D, class C>
void VXStrCore<D, C>::DropIfEmpty() {
  if (rep_ && rep_->text.empty()) Release();
}

// ---- Access ---------------------------------------------------------------------------------------------------

template <class D, class C>
typename VXStrCore<D, C>::Text& VXStrCore<D, C>::GetStr() {
  return MakeWritable()->text;
}

template <class D, class C>
const typename VXStrCore<D, C>::Text& VXStrCore<D, C>::GetConstStr() const {
  return rep_ ? rep_->text : EmptyText<C>();
}

template <class D, class C>
int VXStrCore<D, C>::Length() const {
  return Count(GetConstStr());
}

template <class D, class C>
void VXStrCore<D, C>::ThrowIfOutOfRange(int index) const {
  if (index < 1 || index > Length()) throw std::out_of_range("Index is out of range");
}

template <class D, class C>
C VXStrCore<D, C>::operator[](int index) const {
  ThrowIfOutOfRange(index);
  return GetConstStr()[index - 1];
}

template <class D, class C>
C& VXStrCore<D, C>::operator[](int index) {
  ThrowIfOutOfRange(index);
  return MakeWritable()->text[index - 1];
}

// ---- Editing --------------------------------------------------------------------------------------------------

template <class D, class C>
void VXStrCore<D, C>::Assign(const C* text, std::size_t n) {
  if (!text || n == 0) {
    Clear();
    return;
  }
  // The text may lie inside this string's own buffer: copy it out before the representation changes.
  Text copy(text, n);
  MakeWritable()->text = std::move(copy);
}

template <class D, class C>
void VXStrCore<D, C>::AssignSigned(long long value) {
  const Text text = DecimalOf<C>(value);
  Assign(text.data(), text.size());
}

template <class D, class C>
void VXStrCore<D, C>::AssignUnsigned(unsigned long long value) {
  const Text text = DecimalOf<C>(value);
  Assign(text.data(), text.size());
}

template <class D, class C>
int VXStrCore<D, C>::TakeFormatted(const C* text, int n) {
  Assign(text, n < 1 ? 0 : std::min(n, kFormatBuffer - 1));
  return Length() + 1;
}

template <class D, class C>
D& VXStrCore<D, C>::operator+=(const D& s) {
  const D hold(s);  // s may be this string: holding it makes the write below take a copy
  if (!hold.IsEmpty()) MakeWritable()->text += hold.GetConstStr();
  return static_cast<D&>(*this);
}

template <class D, class C>
void VXStrCore<D, C>::Insert(const D& s, int index) {
  const D hold(s);
  if (hold.IsEmpty()) return;
  index = std::clamp(index, 1, Length() + 1);
  MakeWritable()->text.insert(index - 1, hold.GetConstStr());
}

template <class D, class C>
void VXStrCore<D, C>::Delete(int index, int count) {
  ClipSpan(index, count, Length());
  if (count <= 0) return;
  MakeWritable()->text.erase(index - 1, count);
  DropIfEmpty();
}

template <class D, class C>
void VXStrCore<D, C>::Clear() {
  Release();
}

template <class D, class C>
void VXStrCore<D, C>::SetLength(int n) {
  if (n == Length()) return;
  if (n <= 0) {
    Clear();
    return;
  }
  MakeWritable()->text.resize(n, C{});
}

// ---- New strings ----------------------------------------------------------------------------------------------

template <class D, class C>
D VXStrCore<D, C>::operator+(const D& s) const {
  D result(static_cast<const D&>(*this));
  result += s;
  return result;
}

template <class D, class C>
D VXStrCore<D, C>::operator+(const C* s) const {
  return *this + D(s);
}

template <class D, class C>
D VXStrCore<D, C>::SubString(int index, int count) const {
  ClipSpan(index, count, Length());
  D result;
  if (count > 0) result.Assign(GetConstStr().data() + index - 1, count);
  return result;
}

template <class D, class C>
D VXStrCore<D, C>::MapLetters(bool upper) const {
  Text text = GetConstStr();
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Narrow text skips both bytes of a double-byte character: its trail byte may look like a letter.
    if constexpr (std::is_same_v<C, char>) {
      if (StartsPairUnit(text[i])) {
        ++i;
        continue;
      }
    }
    text[i] = MapLetter(text[i], upper);
  }
  if (text == GetConstStr()) return static_cast<const D&>(*this);
  D result;
  result.Assign(text.data(), text.size());
  return result;
}

template <class D, class C>
D VXStrCore<D, C>::LowerCase() const {
  return MapLetters(false);
}

template <class D, class C>
D VXStrCore<D, C>::UpperCase() const {
  return MapLetters(true);
}

template <class D, class C>
D VXStrCore<D, C>::TrimWhere(bool front, bool back) const {
  const Text& text = GetConstStr();
  int first = 0;
  int last = Count(text);
  if (front)
    while (first < last && IsBlank(text[first])) ++first;
  if (back)
    while (last > first && IsBlank(text[last - 1])) --last;
  return SubString(first + 1, last - first);
}

template <class D, class C>
D VXStrCore<D, C>::Trim() const {
  return TrimWhere(true, true);
}

template <class D, class C>
D VXStrCore<D, C>::TrimLeft() const {
  return TrimWhere(true, false);
}

template <class D, class C>
D VXStrCore<D, C>::TrimRight() const {
  return TrimWhere(false, true);
}

template <class D, class C>
D VXStrCore<D, C>::StringOfChar(C c, int n) {
  D result;
  if (n > 0) {
    Text text(n, c);
    result.Assign(text.data(), text.size());
  }
  return result;
}

// ---- Queries --------------------------------------------------------------------------------------------------

template <class D, class C>
int VXStrCore<D, C>::Pos(const D& s) const {
  if (IsEmpty()) return 0;
  auto at = GetConstStr().find(s.GetConstStr());
  return at == Text::npos ? 0 : static_cast<int>(at) + 1;
}

template <class D, class C>
bool VXStrCore<D, C>::ParseInt(int& value) const {
  const Text& text = GetConstStr();
  if (text.empty()) return false;
  bool negative = text[0] == '-';
  std::uint32_t sum = 0;  // wraps as 32-bit arithmetic does
  for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    sum = sum * 10 + static_cast<std::uint32_t>(text[i] - '0');
  }
  value = static_cast<int>(negative ? 0u - sum : sum);
  return true;
}

template <class D, class C>
int VXStrCore<D, C>::ToIntDef(int def) const {
  int value;
  return ParseInt(value) ? value : def;
}

template <class D, class C>
int VXStrCore<D, C>::ToInt() const {
  int value;
  if (!ParseInt(value)) throw std::invalid_argument("ToInt error");
  return value;
}

template <class D, class C>
bool VXStrCore<D, C>::StartsPair(int index) const {
  return StartsPairUnit(GetConstStr()[index - 1]);
}

template <class D, class C>
int VXStrCore<D, C>::UnitType(int index) const {
  if (index < 1 || index > Length()) return 0;
  if constexpr (std::is_same_v<C, char16_t>) {
    char16_t c = GetConstStr()[index - 1];
    return IsHighSurrogate(c) ? 1 : IsLowSurrogate(c) ? 2 : 0;
  } else {
    // A byte after an odd run of lead-class bytes is a trail byte.
    int run = 0;
    while (index - run > 1 && StartsPair(index - run - 1)) ++run;
    if (run % 2 == 1) return 2;
    return StartsPair(index) ? 1 : 0;
  }
}

template <class D, class C>
int VXStrCore<D, C>::CharPos(const D& s) const {
  const Text& text = GetConstStr();
  const Text& what = s.GetConstStr();
  if (what.empty()) return 0;
  for (std::size_t i = 0; i + what.size() <= text.size(); i += StartsPairUnit(text[i]) ? 2 : 1) {
    if (text.compare(i, what.size(), what) == 0) return static_cast<int>(i) + 1;
  }
  return 0;
}

template <class D, class C>
const C* VXStrCore<D, C>::LastCharPtr(const char* errorText) const {
  if (IsEmpty()) throw std::out_of_range(errorText);
  const C* data = GetConstStr().data();
  int last = Length();
  return data + last - (last > 1 && UnitType(last) == 2 ? 2 : 1);
}

template <class D, class C>
bool VXStrCore<D, C>::IsDelimiter(const D& delimiters, int index) const {
  if (index < 1 || index > Length() || UnitType(index) != 0) return false;
  return delimiters.GetConstStr().find(GetConstStr()[index - 1]) != Text::npos;
}

template <class D, class C>
bool VXStrCore<D, C>::IsPathDelimiter(int index) const {
  return index >= 1 && index <= Length() && UnitType(index) == 0 && GetConstStr()[index - 1] == '\\';
}

template <class D, class C>
int VXStrCore<D, C>::LastDelimiter(const D& delimiters) const {
  const Text& text = GetConstStr();
  const Text& set = delimiters.GetConstStr();
  int found = 0;
  for (std::size_t i = 0; i < text.size(); i += StartsPairUnit(text[i]) ? 2 : 1) {
    if (set.find(text[i]) != Text::npos) found = static_cast<int>(i) + 1;
  }
  return found;
}

}  // namespace vxdetail

template class vxdetail::VXStrCore<VXString, char>;
template class vxdetail::VXStrCore<VXWideStr, char16_t>;

// ---- VXString -------------------------------------------------------------------------------------------------

VXString::VXString(const char* text) { Assign(text, text ? std::strlen(text) : 0); }
VXString::VXString(const char* text, unsigned int n) { Assign(text, n); }
VXString::VXString(const std::string& text) : VXString(text.c_str()) {}
VXString::VXString(const char16_t* text) { SetWideChar(text); }
VXString::VXString(const VXWideStr& text) { SetWideChar(text.c_wstr()); }
VXString::VXString(char c) { Assign(&c, c ? 1 : 0); }
VXString::VXString(short v) { AssignSigned(v); }
VXString::VXString(unsigned short v) { AssignUnsigned(v); }
VXString::VXString(int v) { AssignSigned(v); }
VXString::VXString(unsigned int v) { AssignUnsigned(v); }
VXString::VXString(long v) { AssignSigned(v); }
VXString::VXString(unsigned long v) { AssignUnsigned(v); }
VXString::VXString(long long v) { AssignSigned(v); }
VXString::VXString(unsigned long long v) { AssignUnsigned(v); }

VXString& VXString::operator=(const char* text) {
  Assign(text, text ? std::strlen(text) : 0);
  return *this;
}

VXString& VXString::operator=(const char16_t* text) {
  if (!SetWideChar(text)) Clear();
  return *this;
}

VXString& VXString::operator=(const VXWideStr& text) { return *this = text.c_wstr(); }

bool VXString::SetWideChar(const char16_t* text) {
  if (!text || !*text) return false;
  auto narrow = platform::text::Utf16ToCp932(text);
  if (!narrow || narrow->empty()) return false;
  Assign(narrow->data(), narrow->size());
  return true;
}

int VXString::vprintf(const char* format, va_list args) {
  thread_local char buffer[kFormatBuffer];
  return TakeFormatted(buffer, std::vsnprintf(buffer, sizeof buffer, format, args));
}

int VXString::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = vprintf(format, args);
  va_end(args);
  return result;
}

VXString& VXString::sprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  return *this;
}

// ---- VXWideStr ------------------------------------------------------------------------------------------------

VXWideStr::VXWideStr(const char16_t* text) { *this = text; }
VXWideStr::VXWideStr(const char16_t* text, unsigned int n) { Assign(text, n); }
VXWideStr::VXWideStr(const char* text) { SetMultiByte(text); }
VXWideStr::VXWideStr(const VXString& text) { SetMultiByte(text.c_str()); }
VXWideStr::VXWideStr(char16_t c) { Assign(&c, c ? 1 : 0); }
VXWideStr::VXWideStr(short v) { AssignSigned(v); }
VXWideStr::VXWideStr(unsigned short v) { AssignUnsigned(v); }
VXWideStr::VXWideStr(int v) { AssignSigned(v); }
VXWideStr::VXWideStr(unsigned int v) { AssignUnsigned(v); }
VXWideStr::VXWideStr(long v) { AssignSigned(v); }
VXWideStr::VXWideStr(unsigned long v) { AssignUnsigned(v); }
VXWideStr::VXWideStr(long long v) { AssignSigned(v); }
VXWideStr::VXWideStr(unsigned long long v) { AssignUnsigned(v); }

VXWideStr& VXWideStr::operator=(const char16_t* text) {
  Assign(text, text ? std::char_traits<char16_t>::length(text) : 0);
  return *this;
}

VXWideStr& VXWideStr::operator=(const char* text) {
  if (!SetMultiByte(text)) Clear();
  return *this;
}

VXWideStr& VXWideStr::operator=(const VXString& text) { return *this = text.c_str(); }

bool VXWideStr::SetMultiByte(const char* text) {
  if (!text || !*text) return false;
  std::u16string wide = platform::text::Cp932ToUtf16(text);
  if (wide.empty()) return false;
  Assign(wide.data(), wide.size());
  return true;
}

namespace {

// Output of the wide formatter: keeps the first kFormatBuffer - 1 units, counts them all.
class WideSink {
public:
  explicit WideSink(char16_t* buffer) : buffer_(buffer) {}
  void Put(char16_t c) {
    if (count_ < kFormatBuffer - 1) buffer_[count_] = c;
    ++count_;
  }
  void Put(const char16_t* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) Put(text[i]);
  }
  void PutAscii(const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) Put(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
  }
  void Pad(int n) {
    for (int i = 0; i < n; ++i) Put(u' ');
  }
  int Count() const { return count_; }

private:
  char16_t* buffer_;
  int count_ = 0;
};

// One conversion of a format: %[flags][width][.precision][length]conversion.
struct Directive {
  std::string flags;
  int width = -1;
  int precision = -1;
  std::string length;
  char conversion = 0;
};

// Reads a width or precision: digits, or '*' taken from the arguments.
int ReadCount(const char16_t*& f, va_list& args) {
  if (*f == u'*') {
    ++f;
    return va_arg(args, int);
  }
  int n = 0;
  while (*f >= u'0' && *f <= u'9') n = std::min(n * 10 + (*f++ - u'0'), 1 << 20);
  return n;
}

// Parses the conversion after '%'; f is left after it. A conversion we do not know leaves conversion 0.
Directive ParseDirective(const char16_t*& f, va_list& args) {
  Directive directive;
  while (*f && std::u16string_view(u"-+ #0").find(*f) != std::u16string_view::npos) directive.flags += static_cast<char>(*f++);
  if (*f == u'*' || (*f >= u'0' && *f <= u'9')) {
    directive.width = ReadCount(f, args);
    if (directive.width < 0) {  // a negative '*' width means left alignment
      directive.flags += '-';
      directive.width = directive.width == INT_MIN ? 0 : -directive.width;
    }
  }
  if (*f == u'.') {
    ++f;
    directive.precision = ReadCount(f, args);
    if (directive.precision < 0) directive.precision = -1;
  }
  static constexpr const char16_t* kLengths[] = {u"hh", u"h", u"ll", u"l", u"z", u"j", u"t", u"L"};
  for (const char16_t* length : kLengths) {
    std::u16string_view l(length);
    if (std::u16string_view(f).starts_with(l)) {
      for (char16_t c : l) directive.length += static_cast<char>(c);
      f += l.size();
      break;
    }
  }
  if (*f && std::u16string_view(u"diuoxXcspeEfFgGaA%").find(*f) != std::u16string_view::npos)
    directive.conversion = static_cast<char>(*f++);
  return directive;
}

long long SignedArg(const std::string& length, va_list& args) {
  if (length == "l") return va_arg(args, long);
  if (length == "ll") return va_arg(args, long long);
  if (length == "z" || length == "t") return va_arg(args, std::ptrdiff_t);
  if (length == "j") return va_arg(args, std::intmax_t);
  int v = va_arg(args, int);
  if (length == "hh") return static_cast<signed char>(v);
  if (length == "h") return static_cast<short>(v);
  return v;
}

unsigned long long UnsignedArg(const std::string& length, va_list& args) {
  if (length == "l") return va_arg(args, unsigned long);
  if (length == "ll") return va_arg(args, unsigned long long);
  if (length == "z" || length == "t") return va_arg(args, std::size_t);
  if (length == "j") return va_arg(args, std::uintmax_t);
  unsigned v = va_arg(args, unsigned);
  if (length == "hh") return static_cast<unsigned char>(v);
  if (length == "h") return static_cast<unsigned short>(v);
  return v;
}

// The narrow printf directive of a conversion with the given length modifier.
std::string NarrowDirective(const Directive& directive, const char* length) {
  std::string out = "%" + directive.flags;
  if (directive.width >= 0) out += std::to_string(directive.width);
  if (directive.precision >= 0) out += "." + std::to_string(directive.precision);
  return out + length + directive.conversion;
}

// Formats one numeric conversion through snprintf and puts its (possibly cut) text.
template <class T>
void PutNumber(WideSink& sink, const Directive& directive, const char* length, T value) {
  char text[kFormatBuffer];
  int n = std::snprintf(text, sizeof text, NarrowDirective(directive, length).c_str(), value);
  if (n > 0) sink.PutAscii(text, std::min(n, kFormatBuffer - 1));
}

void PutPadded(WideSink& sink, const Directive& directive, const char16_t* text, std::size_t n) {
  int pad = directive.width > static_cast<int>(n) ? directive.width - static_cast<int>(n) : 0;
  bool left = directive.flags.find('-') != std::string::npos;
  if (!left) sink.Pad(pad);
  sink.Put(text, n);
  if (left) sink.Pad(pad);
}

void PutString(WideSink& sink, const Directive& directive, va_list& args) {
  std::size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<std::size_t>(directive.precision);
  if (directive.length == "h") {
    const char* narrow = va_arg(args, const char*);
    std::u16string wide = platform::text::Cp932ToUtf16(narrow ? std::string_view(narrow, strnlen(narrow, limit))
                                                              : std::string_view("(null)"));
    PutPadded(sink, directive, wide.data(), std::min(wide.size(), limit));
    return;
  }
  const char16_t* text = va_arg(args, const char16_t*);
  if (!text) text = u"(null)";
  std::size_t n = 0;
  while (n < limit && text[n]) ++n;
  PutPadded(sink, directive, text, n);
}

void PutConversion(WideSink& sink, const Directive& directive, va_list& args) {
  switch (directive.conversion) {
    case '%':
      sink.Put(u'%');
      return;
    case 'c': {
      char16_t c = static_cast<char16_t>(va_arg(args, int));
      PutPadded(sink, directive, &c, 1);
      return;
    }
    case 's':
      PutString(sink, directive, args);
      return;
    case 'p':
      PutNumber(sink, directive, "", va_arg(args, void*));
      return;
    case 'd':
    case 'i':
      PutNumber(sink, directive, "ll", SignedArg(directive.length, args));
      return;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
      PutNumber(sink, directive, "ll", UnsignedArg(directive.length, args));
      return;
    default:  // e E f F g G a A
      if (directive.length == "L")
        PutNumber(sink, directive, "L", va_arg(args, long double));
      else
        PutNumber(sink, directive, "", va_arg(args, double));
  }
}

int FormatWide(char16_t* buffer, const char16_t* format, va_list args) {
  WideSink sink(buffer);
  va_list rest;
  va_copy(rest, args);
  for (const char16_t* f = format; *f;) {
    if (*f != u'%') {
      sink.Put(*f++);
      continue;
    }
    const char16_t* start = f++;
    Directive directive = ParseDirective(f, rest);
    if (directive.conversion)
      PutConversion(sink, directive, rest);
    else
      sink.Put(start, f - start);  // not a conversion we know: kept as text
  }
  va_end(rest);
  return sink.Count();
}

}  // namespace

int VXWideStr::vwprintf(const char16_t* format, va_list args) {
  thread_local char16_t buffer[kFormatBuffer];
  return TakeFormatted(buffer, format ? FormatWide(buffer, format, args) : 0);
}

int VXWideStr::wprintf(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int result = vwprintf(format, args);
  va_end(args);
  return result;
}

VXWideStr& VXWideStr::swprintf(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  vwprintf(format, args);
  va_end(args);
  return *this;
}

// ---- Free functions -------------------------------------------------------------------------------------------

VXString operator+(const char* text, const VXString& s) { return VXString(text) + s; }

VXString VXIntToStrA(int value) { return VXString(value); }
VXString VXIntToStrA(std::int64_t value) { return VXString(value); }
VXWideStr VXIntToStrW(int value) { return VXWideStr(value); }
VXWideStr VXIntToStrW(std::int64_t value) { return VXWideStr(value); }

namespace {

std::string HexDigits(std::uint64_t bits, int digits) {
  char text[17];
  auto end = std::to_chars(text, text + sizeof text, bits, 16).ptr;
  std::string hex(text, end);
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return MapLetter(c, true); });
  if (static_cast<int>(hex.size()) < digits) hex.insert(0, digits - hex.size(), '0');
  return hex;
}

VXWideStr Widen(const std::string& ascii) {
  std::u16string wide(ascii.begin(), ascii.end());
  return VXWideStr(wide.data(), static_cast<unsigned int>(wide.size()));
}

}  // namespace

VXString VXIntToHexA(int value, int digits) { return HexDigits(static_cast<std::uint32_t>(value), digits).c_str(); }
VXString VXIntToHexA(std::int64_t value, int digits) {
  return HexDigits(static_cast<std::uint64_t>(value), digits).c_str();
}
VXWideStr VXIntToHexW(int value, int digits) { return Widen(HexDigits(static_cast<std::uint32_t>(value), digits)); }
VXWideStr VXIntToHexW(std::int64_t value, int digits) {
  return Widen(HexDigits(static_cast<std::uint64_t>(value), digits));
}

int VXLastDelimiterA(const VXString& delimiters, const VXString& text) { return text.LastDelimiter(delimiters); }
int VXLastDelimiterW(const VXWideStr& delimiters, const VXWideStr& text) { return text.LastDelimiter(delimiters); }

namespace {

template <class CharT>
int RegistrySize() {
  auto& registry = RegistryOf<CharT>();
  std::lock_guard guard(registry.lock);
  return static_cast<int>(registry.live.size());
}

template <class CharT>
int RegistryList(std::basic_string<CharT>** out, int max) {
  auto& registry = RegistryOf<CharT>();
  std::lock_guard guard(registry.lock);
  int n = 0;
  for (auto it = registry.live.begin(); it != registry.live.end() && n < max; ++it) out[n++] = &(*it)->text;
  return n;
}

}  // namespace

int _VXDBG_GetStrSizeA() { return RegistrySize<char>(); }
int _VXDBG_GetStrListA(std::string** out, int max) { return RegistryList(out, max); }
int _VXDBG_GetStrSizeW() { return RegistrySize<char16_t>(); }
int _VXDBG_GetStrListW(std::u16string** out, int max) { return RegistryList(out, max); }
