#include "graphics/zorvane.h"

#include <string_view>

#include "core/vxsys.h"
#include "platform/msgbox.h"

namespace {

VXString In(const std::string& s) { return VXString(s.data(), static_cast<unsigned>(s.size())); }
std::string Out(const VXString& s) { return std::string(s.c_str(), static_cast<std::size_t>(s.Length())); }

struct ErrorText {
  int result;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "システムに､ メモリまたはリソースが足りません。"},
    {2, "指定されたファイルが見つかりませんでした。"},
    {3, "指定されたパスが見つかりませんでした。"},
    {11, ".EXEファイルが無効です (Win32 .EXEではないか､ .EXEイメージ内のエラーです)。"},
    {26, "共有違反が発生しました。"},
    {27, "ファイル名の関連付けが不完全､ または無効です。"},
    {28, "要求タイム アウトのためにDDEトランザクションを完了できませんでした。"},
    {29, "DDEトランザクションが失敗しました。"},
    {30, "ほかのDDEトランザクションが処理されているために､ DDEトランザクションを完了できませんでした。"},
    {31, "指定されたファイル名拡張子には､ アプリケーションが関連付けられていません。"},
};

HFONT FontWithQuality(const Graphics::TFont* font, VXFontQuality quality) {
  if (font == nullptr) return nullptr;
  return platform::font::Font::Create(VXMakeLogFont(VXFontParamFromTFont(*font, quality)));
}

}  // namespace

bool FileIsExist(const char* name) { return VXFileIsExistA(name); }
bool FileIsExistW(const char16_t* name) { return VXFileIsExistW(name); }
bool FolderIsExist(const char* name) { return VXFolderIsExistA(name); }
bool FolderIsExistW(const char16_t* name) { return VXFolderIsExistW(name); }

std::string AbsToRelPath(const std::string& p, const std::string& b) { return Out(VXAbsToRelPathA(In(p), In(b))); }
std::string AbsToRelDir(const std::string& p, const std::string& b) { return Out(VXAbsToRelDirA(In(p), In(b))); }
std::string AbsToRelPathName(const std::string& p, const std::string& b) {
  return Out(VXAbsToRelPathNameA(In(p), In(b)));
}
std::string RelToAbsPath(const std::string& r, const std::string& b) { return Out(VXRelToAbsPathA(In(r), In(b))); }
std::string RelToAbsDir(const std::string& r, const std::string& b) { return Out(VXRelToAbsDirA(In(r), In(b))); }
std::string RelToAbsPathName(const std::string& p, const std::string& b) {
  return Out(VXRelToAbsPathNameA(In(p), In(b)));
}

std::uint32_t TotalPhysicalMemory() { return VXTotalPhysicalMemory(); }
std::uint32_t AvailPhysicalMemory() { return VXAvailPhysicalMemory(); }
std::uint32_t TotalVirtualMemory() { return VXTotalVirtualMemory(); }
std::uint32_t AvailVirtualMemory() { return VXAvailVirtualMemory(); }

const char* ZoFileExecErrorText(int result) {
  for (const ErrorText& e : kErrorTexts)
    if (e.result == result) return e.text;
  return "不明なエラー";
}

int ZoFileExecResult(const std::string& file) {
  const VXString name = In(file);
  const VXString folder = VXExtractFileDirA(name);
  if (!folder.IsEmpty() && !VXFolderIsExistA(folder.c_str())) return zePathNotFound;
  if (!VXFileIsExistA(name.c_str()) && !VXFolderIsExistA(name.c_str())) return zeFileNotFound;
  return VXFileExecA(nullptr, name) ? zeSuccess : zeNoAssociation;
}

void ZoFileExec(const std::string& file) {
  if (file.empty()) return;
  const int result = ZoFileExecResult(file);
  if (result > 32) return;
  platform::msgbox::Show({platform::msgbox::Kind::kError, "エラー", ZoFileExecErrorText(result)});
}

HFONT GetAntiAliasedFont(const Graphics::TFont* font) { return FontWithQuality(font, vfqAntialiased); }
HFONT GetNonAntiAliasedFont(const Graphics::TFont* font) { return FontWithQuality(font, vfqNonAntialiased); }
