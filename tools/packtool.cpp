// packtool: builds, lists, extracts, changes and verifies pack archives.
//
//   packtool create  PACK FOLDER [-c KIND] [-x EXT=KIND]...   every file under FOLDER; names are the paths below it
//   packtool list    PACK                                    name, kind, stored and original size, CRC
//   packtool extract PACK FOLDER [NAME]...                    every entry (or the named ones) into FOLDER
//   packtool add     PACK FILE [NAME] [-c KIND]               appends FILE (as NAME), creating PACK when missing
//   packtool delete  PACK NAME...
//   packtool verify  PACK                                    whole-file and entry checksums, and every entry decodes
//
// KIND: store, mariel, cocotte, cocotte8k, cocotte1k, not. The default (-c, mariel unless given) keeps whichever of
// the coded and the stored form is smaller; a kind chosen for an extension with -x is used as asked.
// Paths on the command line are UTF-8; entry names are stored as CP932 with '\' between folders.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/vxpack.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

struct KindName {
  const char* name;
  VXPackAddComp comp;
};
constexpr KindName kKinds[] = {
    {"store", VXPackAddStore},         {"mariel", VXPackAddMariel},       {"cocotte", VXPackAddCocotte},
    {"cocotte8k", VXPackAddCocotteLE}, {"cocotte1k", VXPackAddCocotteMini}, {"not", VXPackAddNot},
};
const char* const kEntryKinds[] = {"stored", "mariel", "cocotte", "not"};

struct Failure {
  std::string text;
};

[[noreturn]] void Fail(const std::string& file, const std::string& reason) { throw Failure{file + ": " + reason}; }

std::optional<VXPackAddComp> KindOf(const std::string& name) {
  for (const KindName& k : kKinds)
    if (name == k.name) return k.comp;
  return std::nullopt;
}

std::string ToCp932(const std::string& utf8) {
  auto converted = platform::text::Utf8ToCp932(utf8);
  if (!converted) Fail(utf8, "the name has characters that CP932 cannot hold");
  return *converted;
}

std::string ToUtf8(const std::string& cp932) { return platform::text::Cp932ToUtf8(cp932); }

// A host path in the form the pack code takes: CP932 with '\' separators.
std::string GameName(const fs::path& host) {
  std::string name = ToCp932(fs::absolute(host).lexically_normal().string());
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

std::string Reason(const VXPack& pack, const char* fallback) {
  return pack.GetLastError().empty() ? fallback : pack.GetLastError();
}

void OpenForReading(VXPack& pack, const std::string& path, unsigned char verify = VXPackVerifyNone) {
  pack.verifyMode = verify;
  if (!pack.LoadPack(GameName(path).c_str())) Fail(path, Reason(pack, "cannot be loaded"));
}

void OpenForWriting(VXPack& pack, const std::string& path, bool create) {
  pack.SetReadOnly(false);
  const bool ok = create ? pack.NewPack(GameName(path).c_str()) : pack.LoadPack(GameName(path).c_str());
  if (!ok) Fail(path, Reason(pack, "cannot be opened for writing"));
}

void Close(VXPack& pack, const std::string& path) {
  if (!pack.EndPack()) Fail(path, Reason(pack, "cannot be written"));
}

void AddOne(VXPack& pack, const std::string& entry, const fs::path& file, VXPackAddComp comp, bool keepSmaller) {
  if (!pack.AddFile(entry.c_str(), GameName(file).c_str(), comp, keepSmaller))
    Fail(file.string(), "cannot be added as " + ToUtf8(entry) + ": " + Reason(pack, "refused"));
}

struct Options {
  std::vector<std::string> args;
  VXPackAddComp comp = VXPackAddMariel;
  std::map<std::string, VXPackAddComp> byExtension;  // lower-case extension without the dot
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "-c" || a == "-x") && i + 1 < argc) {
      const std::string v = argv[++i];
      const std::size_t eq = v.find('=');
      const std::string kind = a == "-c" ? v : (eq == std::string::npos ? "" : v.substr(eq + 1));
      auto comp = KindOf(kind);
      if (!comp) Fail(v, "unknown compression kind (store, mariel, cocotte, cocotte8k, cocotte1k, not)");
      if (a == "-c") {
        o.comp = *comp;
      } else {
        std::string ext = v.substr(0, eq);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        o.byExtension[ext] = *comp;
      }
    } else {
      o.args.push_back(a);
    }
  }
  return o;
}

int Create(const Options& o) {
  if (o.args.size() != 2) Fail("create", "needs PACK and FOLDER");
  const fs::path root = o.args[1];
  if (!fs::is_directory(root)) Fail(root.string(), "is not a folder");
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  VXPack pack;
  OpenForWriting(pack, o.args[0], true);
  for (const fs::path& file : files) {
    std::string entry = ToCp932(file.lexically_relative(root).generic_string());
    for (char& c : entry)
      if (c == '/') c = '\\';
    std::string ext = file.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto rule = o.byExtension.find(ext);
    if (rule != o.byExtension.end())
      AddOne(pack, entry, file, rule->second, false);
    else
      AddOne(pack, entry, file, o.comp, true);
  }
  Close(pack, o.args[0]);
  return 0;
}

int List(const Options& o) {
  if (o.args.size() != 1) Fail("list", "needs PACK");
  VXPack pack;
  OpenForReading(pack, o.args[0]);
  std::printf("%-25s %-8s %10s %10s %6s\n", "name", "kind", "stored", "size", "crc");
  char name[kVXPackFullNameLength + 1];
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    pack.GetFileName(i, name);
    if (*name == '\0') continue;  // deleted
    const VXFileTable3* e = pack.GetFileTable(i);
    const char* kind = e->comp < 4 ? kEntryKinds[e->comp] : "other";
    char crc[8] = "-";
    if (e->crcFlag != 0) std::snprintf(crc, sizeof crc, "%04X", e->crc);
    std::printf("%-25s %-8s %10u %10u %6s\n", ToUtf8(name).c_str(), kind, e->compSize, e->size, crc);
  }
  return 0;
}

int Extract(const Options& o) {
  if (o.args.size() < 2) Fail("extract", "needs PACK and FOLDER");
  VXPack pack;
  OpenForReading(pack, o.args[0]);
  std::vector<std::string> names;
  for (std::size_t i = 2; i < o.args.size(); ++i) names.push_back(ToCp932(o.args[i]));
  if (names.empty()) {
    char name[kVXPackFullNameLength + 1];
    for (int i = 0; i < pack.GetFileNum(); ++i)
      if (pack.GetFileName(i, name) && *name != '\0') names.push_back(name);
  }
  const fs::path root = o.args[1];
  for (const std::string& name : names) {
    // Names come from the pack: they may not be absolute or climb out of the folder.
    if (!platform::fs::IsSafeDataName(name)) Fail(ToUtf8(name), "is not a safe file name; not extracted");
    if (pack.CheckFileName(name.c_str()) < 0) Fail(ToUtf8(name), "is not in " + o.args[0]);
    std::string relative = name;
    for (char& c : relative)
      if (c == '\\') c = '/';
    const fs::path target = root / ToUtf8(relative);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (!pack.GetFile(GameName(target).c_str(), name.c_str()))
      Fail(target.string(), "cannot be written from entry " + ToUtf8(name) + ": " + Reason(pack, "failed"));
  }
  return 0;
}

int Add(const Options& o) {
  if (o.args.size() < 2 || o.args.size() > 3) Fail("add", "needs PACK FILE [NAME]");
  const fs::path file = o.args[1];
  const std::string entry = ToCp932(o.args.size() == 3 ? o.args[2] : file.filename().string());
  VXPack pack;
  OpenForWriting(pack, o.args[0], !fs::exists(o.args[0]));
  AddOne(pack, entry, file, o.comp, true);
  Close(pack, o.args[0]);
  return 0;
}

int Delete(const Options& o) {
  if (o.args.size() < 2) Fail("delete", "needs PACK and NAME");
  VXPack pack;
  OpenForWriting(pack, o.args[0], false);
  for (std::size_t i = 1; i < o.args.size(); ++i)
    if (!pack.DelFile(ToCp932(o.args[i]).c_str())) Fail(o.args[i], "is not in " + o.args[0]);
  Close(pack, o.args[0]);
  return 0;
}

int Verify(const Options& o) {
  if (o.args.size() != 1) Fail("verify", "needs PACK");
  VXPack pack;
  OpenForReading(pack, o.args[0], VXPackVerifyFile);
  char name[kVXPackFullNameLength + 1];
  int bad = 0;
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    pack.GetFileName(i, name);
    if (*name == '\0') continue;
    VXMemoryStream out;
    const char* problem = !pack.VerifyFileCrc(i)                  ? "checksum does not match"
                          : !pack.VXfopenToStream(&out, name, true) ? "does not decode"
                                                                    : nullptr;
    if (problem != nullptr) {
      std::fprintf(stderr, "packtool: %s: entry %s: %s\n", o.args[0].c_str(), ToUtf8(name).c_str(), problem);
      ++bad;
    }
  }
  if (bad > 0) return 1;
  std::printf("%s: %d entries, all good\n", o.args[0].c_str(), pack.GetFileNum());
  return 0;
}

struct Command {
  const char* name;
  int (*run)(const Options&);
};
constexpr Command kCommands[] = {{"create", Create}, {"list", List},     {"extract", Extract},
                                 {"add", Add},       {"delete", Delete}, {"verify", Verify}};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: packtool create|list|extract|add|delete|verify PACK ...\n", stderr);
    return 2;
  }
  try {
    const Options options = Parse(argc, argv);
    for (const Command& c : kCommands)
      if (std::strcmp(argv[1], c.name) == 0) return c.run(options);
    Fail(argv[1], "unknown command");
  } catch (const Failure& f) {
    std::fprintf(stderr, "packtool: %s\n", f.text.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "packtool: %s\n", e.what());
  }
  return 1;
}
