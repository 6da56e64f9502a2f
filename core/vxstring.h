// The system's strings: VXString (CP932 bytes) and VXWideStr (UTF-16 code units).
//
// Both are one pointer to a shared, reference-counted representation with copy-on-write; a null pointer is the
// empty string, whose text is a shared empty buffer (reading an empty string never allocates). Positions are
// 1-based. Every live representation is entered in a registry per character type (ordered by address) that the
// reference-count operations consult and the diagnostics list. Registries and counts are locked and the formatting
// buffers are per thread, so strings may be copied and formatted on any thread; one string object is still used by
// one thread at a time.
//
// Owner rule: a representation remembers the string that last obtained write access to it. A representation
// with count 1 is written in place only by its owner, or by any holder when it has no owner; otherwise the writer
// takes a private copy.
#pragma once

#include <compare>
#include <cstdarg>
#include <cstdint>
#include <string>

class VXString;
class VXWideStr;

template <class CharT>
struct VXStrRep {
  std::basic_string<CharT> text;  // always NUL-terminated after its content
  const void* owner = nullptr;    // the string that last obtained write access, or null
  std::int32_t count = 1;
};

namespace vxdetail {

// What VXString and VXWideStr share; Derived is the concrete string, CharT its code unit.
template <class Derived, class CharT>
class VXStrCore {
public:
  using Rep = VXStrRep<CharT>;
  using Text = std::basic_string<CharT>;

  VXStrCore() = default;
  VXStrCore(const VXStrCore& other);  // shares the representation
  VXStrCore(VXStrCore&& other) noexcept;
  ~VXStrCore();
  VXStrCore& operator=(const VXStrCore& other);  // assigning the own representation does nothing
  VXStrCore& operator=(VXStrCore&& other) noexcept;

  Rep* GetData() const { return rep_; }
  Text& GetStr();  // makes the representation writable
  const Text& GetConstStr() const;
  int Length() const;
  bool IsEmpty() const { return Length() == 0; }
  CharT operator[](int index) const;  // throws std::out_of_range "Index is out of range"
  CharT& operator[](int index);       // the same, then makes the representation writable
  void ThrowIfOutOfRange(int index) const;

  // Editing in place.
  Derived& operator+=(const Derived& s);
  void Insert(const Derived& s, int index);  // index clamped into 1 .. Length() + 1
  void Delete(int index, int count);        // index below 1 shortens count; cut at the end
  void Clear();
  void SetLength(int n);  // shortens, or lengthens with NULs

  // New strings.
  Derived operator+(const Derived& s) const;
  Derived operator+(const CharT* s) const;
  Derived SubString(int index, int count) const;  // same range rule as Delete
  Derived LowerCase() const;                      // ASCII letters only
  Derived UpperCase() const;
  Derived Trim() const;  // space, tab, line feed and carriage return
  Derived TrimLeft() const;
  Derived TrimRight() const;
  static Derived StringOfChar(CharT c, int n);

  // Lengths first, then units.
  friend bool operator==(const Derived& a, const Derived& b) { return a.GetConstStr() == b.GetConstStr(); }
  // Common prefix compared as unsigned units; the shorter string orders first.
  // (char_traits compares char as unsigned char and char16_t as unsigned.)
  friend std::strong_ordering operator<=>(const Derived& a, const Derived& b) {
    return a.GetConstStr().compare(b.GetConstStr()) <=> 0;
  }

  int Pos(const Derived& s) const;  // unit-wise; 0 when absent; empty s is at 1 of a non-empty string
  int ToInt() const;                // optional '-' then '0'-'9' only, 32-bit wrap; std::invalid_argument "ToInt error"
  int ToIntDef(int def) const;
  bool IsDelimiter(const Derived& delimiters, int index) const;  // a single unit found in delimiters
  bool IsPathDelimiter(int index) const;                         // a single-unit backslash
  int LastDelimiter(const Derived& delimiters) const;            // steps over two-unit characters

protected:
  // Class of the unit at a position: 0 single, 1 first of a two-unit character, 2 second.
  int UnitType(int index) const;
  // Position of the first match of s starting on a character boundary; 0 when none or s is empty.
  int CharPos(const Derived& s) const;
  // The last character: its first unit when it is a two-unit character. Throws errorText when empty.
  const CharT* LastCharPtr(const char* errorText) const;

  void Assign(const CharT* text, std::size_t n);
  void AssignSigned(long long value);
  void AssignUnsigned(unsigned long long value);
  // Takes at most 1023 units of formatted output; no output (n < 1) empties the string. Returns Length() + 1.
  int TakeFormatted(const CharT* text, int n);

private:
  const void* Actor() const { return this; }
  void Release();
  Rep* MakeWritable();
  void DropIfEmpty();
  bool StartsPair(int index) const;  // the unit at a 1-based index starts a two-unit character
  bool ParseInt(int& value) const;
  Derived TrimWhere(bool front, bool back) const;
  Derived MapLetters(bool upper) const;

  Rep* rep_ = nullptr;
};

}  // namespace vxdetail

// CP932 text. Double-byte characters: lead bytes 0x81-0x9F and 0xE0-0xFC.
class VXString : public vxdetail::VXStrCore<VXString, char> {
public:
  VXString() = default;
  VXString(const char* text);  // empty text gives the empty string
  VXString(const char* text, unsigned int n);  // exactly n bytes, NULs kept
  VXString(const char16_t* text);              // converted; empty when a character has no CP932 form
  // The framework's narrow string (CP932 bytes, as panels and text panels hold it) and back: the text up to its
  // first NUL, both ways.
  VXString(const std::string& text);
  VXString(const VXWideStr& text);
  VXString(char c);  // a NUL character gives the empty string
  VXString(short v);
  VXString(unsigned short v);
  VXString(int v);
  VXString(unsigned int v);
  VXString(long v);
  VXString(unsigned long v);
  VXString(long long v);
  VXString(unsigned long long v);

  VXString& operator=(const char* text);
  VXString& operator=(const char16_t* text);  // a failed conversion clears the string
  VXString& operator=(const VXWideStr& text);

  const char* c_str() const { return GetConstStr().c_str(); }
  operator std::string() const { return std::string(c_str()); }

  // From UTF-16: false, string unchanged, when the text is empty or a character has no CP932 form.
  bool SetWideChar(const char16_t* text);

  // printf-style formatting of at most 1023 bytes; the arguments may point into this string.
  VXString& sprintf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int vprintf(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

  int AnsiPos(const VXString& s) const { return CharPos(s); }
  int ByteType(int index) const { return UnitType(index); }  // 0 single, 1 lead, 2 trail (0 out of range)
  bool IsLeadByte(int index) const { return ByteType(index) == 1; }
  bool IsTrailByte(int index) const { return ByteType(index) == 2; }
  const char* AnsiLastChar() const { return LastCharPtr("AnsiLastChar error"); }
};

// UTF-16 text. Two-unit characters are surrogate pairs.
class VXWideStr : public vxdetail::VXStrCore<VXWideStr, char16_t> {
public:
  VXWideStr() = default;
  VXWideStr(const char16_t* text);
  VXWideStr(const char16_t* text, unsigned int n);
  VXWideStr(const char* text);  // converted from CP932 (always has a result)
  VXWideStr(const VXString& text);
  VXWideStr(char16_t c);
  VXWideStr(short v);
  VXWideStr(unsigned short v);
  VXWideStr(int v);
  VXWideStr(unsigned int v);
  VXWideStr(long v);
  VXWideStr(unsigned long v);
  VXWideStr(long long v);
  VXWideStr(unsigned long long v);

  VXWideStr& operator=(const char16_t* text);
  VXWideStr& operator=(const char* text);
  VXWideStr& operator=(const VXString& text);

  const char16_t* c_wstr() const { return GetConstStr().c_str(); }

  // From CP932: false, string unchanged, only for empty text.
  bool SetMultiByte(const char* text);

  // printf-style formatting of at most 1023 units over a char16_t format. %s and %ls take const char16_t*,
  // %hs a CP932 const char*, %c a char16_t; numbers as in C.
  VXWideStr& swprintf(const char16_t* format, ...);
  int wprintf(const char16_t* format, ...);
  int vwprintf(const char16_t* format, va_list args);

  int SrgtPos(const VXWideStr& s) const { return CharPos(s); }
  int CodeType(int index) const { return UnitType(index); }  // 0 other, 1 high surrogate, 2 low surrogate
  bool IsHighCode(int index) const { return CodeType(index) == 1; }
  bool IsLowCode(int index) const { return CodeType(index) == 2; }
  const char16_t* SrgtLastChar() const { return LastCharPtr("SrgtLastChar error"); }
};

VXString operator+(const char* text, const VXString& s);

// Decimal text, minus sign for negative values.
VXString VXIntToStrA(int value);
VXString VXIntToStrA(std::int64_t value);
VXWideStr VXIntToStrW(int value);
VXWideStr VXIntToStrW(std::int64_t value);

// Upper-case hexadecimal of the value's bits, left-filled with '0' to digits; never cut.
VXString VXIntToHexA(int value, int digits);
VXString VXIntToHexA(std::int64_t value, int digits);
VXWideStr VXIntToHexW(int value, int digits);
VXWideStr VXIntToHexW(std::int64_t value, int digits);

int VXLastDelimiterA(const VXString& delimiters, const VXString& text);
int VXLastDelimiterW(const VXWideStr& delimiters, const VXWideStr& text);

// Diagnostics: the live representations, listed in ascending address order.
int _VXDBG_GetStrSizeA();
int _VXDBG_GetStrListA(std::string** out, int max);
int _VXDBG_GetStrSizeW();
int _VXDBG_GetStrListW(std::u16string** out, int max);
