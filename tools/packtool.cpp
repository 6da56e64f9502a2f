// packtool: builds, lists, extracts, changes and verifies pack archives. `packtool --help` prints the usage below.
//
// Paths on the command line are the host's (UTF-8, any characters); only entry names, and the pack's own file name,
// need a CP932 form. Entry names are stored as CP932 with '\' between folders. A command that fails leaves the pack
// as it was; problems with single entries are reported one per line and counted, and the exit status is 1 when
// there were any (2 for a command line that cannot be understood).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/vxpack.h"
#include "core/widefile.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: packtool COMMAND PACK ...\n"
    "\n"
    "  create  PACK FOLDER [-c KIND] [-x EXT=KIND]...  a new pack of every file under FOLDER, named by its path\n"
    "                                                 below FOLDER (an existing PACK is replaced)\n"
    "  list    PACK                                   name, kind, stored and original size, CRC of each entry\n"
    "  extract PACK FOLDER [NAME]...                  every entry (or the named ones) into FOLDER; each entry's\n"
    "                                                 checksum is checked first\n"
    "  add     PACK FILE [NAME] [-c KIND]             appends FILE (as NAME), creating PACK when missing\n"
    "  delete  PACK NAME...                           marks the named entries deleted\n"
    "  verify  PACK                                   whole-file and entry checksums, and every entry decodes\n"
    "\n"
    "KIND: store, mariel, cocotte, cocotte8k, cocotte1k, not. With -c (mariel when not given) the smaller of the\n"
    "coded and the stored form is kept; a kind chosen for an extension with -x is used as asked.\n"
    "\n"
    "Entry names: at most 25 bytes in CP932, at most 21 before the last dot and 3 after it, '\\' or '/' between\n"
    "folders, relative and without \"..\"; names differ by more than letter case.\n"
    "Exit status: 0 done, 1 failed (a failed create, add or delete leaves the pack as it was), 2 bad command line.\n";

struct KindName {
  const char* name;
  VXPackAddComp comp;
};
constexpr KindName kKinds[] = {
    {"store", VXPackAddStore},         {"mariel", VXPackAddMariel},       {"cocotte", VXPackAddCocotte},
    {"cocotte8k", VXPackAddCocotteLE}, {"cocotte1k", VXPackAddCocotteMini}, {"not", VXPackAddNot},
};
const char* const kEntryKinds[] = {"stored", "mariel", "cocotte", "not"};

// A failure that ends the command.
struct Failure {
  std::string text;
};

// A command line that cannot be understood.
struct UsageError {
  std::string text;
};

[[noreturn]] void Fail(const std::string& subject, const std::string& reason) { throw Failure{subject + ": " + reason}; }

// Problems with single files or entries: each is reported at once and the command goes on, failing at its end.
class Problems {
public:
  void Report(const std::string& subject, const std::string& reason) {
    std::fprintf(stderr, "packtool: %s: %s\n", subject.c_str(), reason.c_str());
    ++count_;
  }
  int Count() const { return count_; }

private:
  int count_ = 0;
};

std::string ToUtf8(const std::string& cp932) { return platform::text::Cp932ToUtf8(cp932); }

// The first character of a text that CP932 cannot hold, for the message that refuses it.
std::string FirstUnheld(const std::string& utf8) {
  const std::u16string wide = platform::text::Utf8ToUtf16(utf8);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const std::size_t n = platform::text::IsSurrogatePairAt(wide, i) ? 2 : 1;
    if (!platform::text::Utf16ToCp932(wide.substr(i, n))) return platform::text::Utf16ToUtf8(wide.substr(i, n));
    i += n - 1;
  }
  return {};
}

// An entry name typed or found as UTF-8 ('/' or '\' between folders) in the pack's form: CP932 with '\'. The
// separators are changed before the conversion, where no byte of a double-byte character can be mistaken for one.
std::optional<std::string> EntryName(std::string utf8, std::string& why) {
  std::replace(utf8.begin(), utf8.end(), '/', '\\');
  auto cp932 = platform::text::Utf8ToCp932(utf8);
  if (!cp932) why = "the entry name \"" + utf8 + "\" has a character that CP932 cannot hold (\"" + FirstUnheld(utf8) + "\")";
  return cp932;
}

std::string EntryNameOrFail(const std::string& utf8) {
  std::string why;
  auto name = EntryName(utf8, why);
  if (!name) Fail(utf8, why);
  return *name;
}

// An entry name as a path below the extraction folder.
fs::path HostRelative(const std::string& cp932) {
  std::string utf8 = ToUtf8(cp932);
  std::replace(utf8.begin(), utf8.end(), '\\', '/');
  return fs::path(utf8);
}

// A host path in the UTF-16 form of the wide file functions, which hold every character.
std::u16string Wide(const fs::path& host) { return platform::text::Utf8ToUtf16(host.string()); }

fs::path Absolute(const std::string& path) { return fs::absolute(fs::path(path)).lexically_normal(); }

std::string Reason(const VXPack& pack, const char* fallback) {
  return pack.GetLastError().empty() ? fallback : pack.GetLastError();
}

// The pack code names the pack by its file name inside its folder, which becomes the current folder: so only that
// file name needs a CP932 form. Every other path of the command must be made absolute before this.
std::string PackName(const std::string& path, bool mustExist = true) {
  const fs::path absolute = Absolute(path);
  if (mustExist && !fs::exists(absolute)) Fail(path, "does not exist");
  const std::string file = absolute.filename().string();
  auto name = platform::text::Utf8ToCp932(file);
  if (file.empty()) Fail(path, "names no file");
  if (!name) Fail(path, "the pack's file name has a character that CP932 cannot hold (\"" + FirstUnheld(file) + "\")");
  std::error_code ec;
  fs::current_path(absolute.parent_path(), ec);
  if (ec) Fail(path, "its folder cannot be entered: " + ec.message());
  return *name;
}

void OpenForReading(VXPack& pack, const std::string& path, unsigned char verify = VXPackVerifyNone) {
  const std::string name = PackName(path);
  pack.verifyMode = verify;
  if (!pack.LoadPack(name.c_str())) Fail(path, Reason(pack, "cannot be loaded"));
}

// Opens a pack to change it; the change is written only by Commit, and dropped when the command fails first.
class Change {
public:
  Change(VXPack& pack, const std::string& path, bool create) : pack_(pack), path_(path) {
    const std::string name = PackName(path, !create);
    pack.SetReadOnly(false);
    if (!(create ? pack.NewPack(name.c_str()) : pack.LoadPack(name.c_str())))
      Fail(path, Reason(pack, "cannot be opened for writing"));
  }
  ~Change() { pack_.DiscardPack(); }
  Change(const Change&) = delete;
  Change& operator=(const Change&) = delete;

  void Commit() {
    if (!pack_.EndPack()) Fail(path_, Reason(pack_, "cannot be written") + "; the pack is as it was");
  }

private:
  VXPack& pack_;
  std::string path_;
};

// Adds one host file; the reason when it could not be added.
std::string AddOne(VXPack& pack, const std::string& entry, const fs::path& file, VXPackAddComp comp, bool keepSmaller) {
  const std::string refusal = pack.NameRefusal(entry.c_str());
  if (!refusal.empty()) return "the entry name \"" + ToUtf8(entry) + "\" is refused: " + refusal;
  const std::u16string wide = Wide(file);
  VXFileStreamW source(wide.c_str(), VXFileRead);
  if (!source.IsOpen()) return std::string("cannot be opened: ") + std::strerror(errno);
  FILETIME time{};
  GetFileWriteTimeW(wide.c_str(), &time);
  if (!pack.AddStream(entry.c_str(), &source, time, comp, keepSmaller))
    return "cannot be added as " + ToUtf8(entry) + ": " + Reason(pack, "refused");
  return {};
}

struct Options {
  std::vector<std::string> args;
  VXPackAddComp comp = VXPackAddMariel;
  std::map<std::string, VXPackAddComp> byExtension;  // lower-case extension without the dot
  bool kindsGiven = false;
};

std::optional<VXPackAddComp> KindOf(const std::string& name) {
  for (const KindName& k : kKinds)
    if (name == k.name) return k.comp;
  return std::nullopt;
}

VXPackAddComp KindOrFail(const std::string& name, const std::string& option) {
  auto comp = KindOf(name);
  if (!comp) throw UsageError{option + ": unknown compression kind \"" + name + "\" (store, mariel, cocotte, cocotte8k, cocotte1k, not)"};
  return *comp;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

Options Parse(int argc, char** argv) {
  Options o;
  bool optionsEnd = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (optionsEnd || a.size() < 2 || a[0] != '-') {
      o.args.push_back(a);
    } else if (a == "--") {
      optionsEnd = true;
    } else if ((a == "-c" || a == "-x") && i + 1 < argc) {
      const std::string v = argv[++i];
      o.kindsGiven = true;
      const std::size_t eq = v.find('=');
      if (a == "-c") {
        o.comp = KindOrFail(v, "-c");
      } else if (eq == std::string::npos || eq == 0) {
        throw UsageError{"-x " + v + ": needs EXT=KIND, as in -x ogg=store"};
      } else {
        std::string ext = Lower(v.substr(0, eq));
        if (ext[0] == '.') ext.erase(0, 1);
        o.byExtension[ext] = KindOrFail(v.substr(eq + 1), "-x");
      }
    } else {
      throw UsageError{a == "-c" || a == "-x" ? a + " needs a value" : a + ": unknown option (use -- before a name that starts with -)"};
    }
  }
  return o;
}

void NeedArgs(const Options& o, std::size_t least, std::size_t most, const char* form) {
  if (o.args.size() < least || o.args.size() > most) throw UsageError{std::string("usage: packtool ") + form};
}

int Create(const Options& o) {
  NeedArgs(o, 2, 2, "create PACK FOLDER [-c KIND] [-x EXT=KIND]...");
  const fs::path root = Absolute(o.args[1]);
  if (!fs::is_directory(root)) Fail(o.args[1], "is not a folder");
  const fs::path packFile = Absolute(o.args[0]);
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && e.path() != packFile) files.push_back(e.path());  // never the pack into itself
  std::sort(files.begin(), files.end());
  VXPack pack;
  Change change(pack, o.args[0], true);
  Problems problems;
  for (const fs::path& file : files) {
    const fs::path relative = file.lexically_relative(root);
    const std::string shown = (fs::path(o.args[1]) / relative).string();  // as the user named the folder
    std::string why;
    auto entry = EntryName(relative.generic_string(), why);
    if (!entry) {
      problems.Report(shown, why);
      continue;
    }
    const std::string ext = Lower(file.extension().string()).substr(file.has_extension() ? 1 : 0);
    auto rule = o.byExtension.find(ext);
    const bool chosen = rule != o.byExtension.end();
    why = AddOne(pack, *entry, file, chosen ? rule->second : o.comp, !chosen);
    if (!why.empty()) problems.Report(shown, why);
  }
  if (problems.Count() > 0)
    Fail(o.args[0], std::to_string(problems.Count()) + " of " + std::to_string(files.size()) +
                        " files cannot be added; nothing was written");
  change.Commit();
  std::printf("%s: %zu entries\n", o.args[0].c_str(), files.size());
  return 0;
}

// A name padded to a column: CP932 bytes count as terminal columns (a double-byte character is a wide one).
std::string Column(const std::string& cp932, std::size_t width) {
  return ToUtf8(cp932) + std::string(width > cp932.size() ? width - cp932.size() : 0, ' ');
}

int List(const Options& o) {
  NeedArgs(o, 1, 1, "list PACK");
  VXPack pack;
  OpenForReading(pack, o.args[0]);
  std::printf("%s %-8s %10s %10s %6s\n", Column("name", kVXPackFullNameLength).c_str(), "kind", "stored", "size", "crc");
  char name[kVXPackFullNameLength + 1];
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    pack.GetFileName(i, name);
    if (*name == '\0') continue;  // deleted
    const VXFileTable3* e = pack.GetFileTable(i);
    const char* kind = e->comp < 4 ? kEntryKinds[e->comp] : "other";
    char crc[8] = "-";
    if (e->crcFlag != 0) std::snprintf(crc, sizeof crc, "%04X", e->crc);
    std::printf("%s %-8s %10u %10u %6s\n", Column(name, kVXPackFullNameLength).c_str(), kind, e->compSize, e->size, crc);
  }
  return 0;
}

// Extracts one entry below root; the reason when it was not.
std::string ExtractOne(VXPack& pack, int index, const std::string& name, const fs::path& root) {
  // Names come from the pack: they may not be absolute or climb out of the folder.
  if (!platform::fs::IsSafeDataName(name)) return "is absolute or climbs out of the folder with \"..\"; not extracted";
  if (pack.CheckFileName(name.c_str()) != index) return "an earlier entry has the same name; not extracted";
  if (!pack.VerifyFileCrc(index)) return "its checksum does not match (the pack is damaged); not extracted";
  const fs::path target = root / HostRelative(name);
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return "the folder " + target.parent_path().string() + " cannot be made: " + ec.message();
  if (!pack.GetFileW(Wide(target).c_str(), name.c_str()))
    return target.string() + " cannot be written: " + Reason(pack, "failed");
  return {};
}

int Extract(const Options& o) {
  NeedArgs(o, 2, SIZE_MAX, "extract PACK FOLDER [NAME]...");
  const fs::path root = Absolute(o.args[1]);
  VXPack pack;
  OpenForReading(pack, o.args[0]);
  Problems problems;
  std::vector<std::pair<int, std::string>> entries;  // index, name
  for (std::size_t i = 2; i < o.args.size(); ++i) {
    std::string why;
    auto name = EntryName(o.args[i], why);
    const int index = name ? pack.CheckFileName(name->c_str()) : -1;
    if (index < 0) {
      problems.Report(o.args[i], "is not in " + o.args[0]);
      continue;
    }
    char stored[kVXPackFullNameLength + 1];
    pack.GetFileName(index, stored);
    entries.push_back({index, stored});
  }
  if (o.args.size() == 2) {
    char name[kVXPackFullNameLength + 1];
    for (int i = 0; i < pack.GetFileNum(); ++i)
      if (pack.GetFileName(i, name) && *name != '\0') entries.push_back({i, name});
  }
  int done = 0;
  for (const auto& [index, name] : entries) {
    const std::string why = ExtractOne(pack, index, name, root);
    if (why.empty())
      ++done;
    else
      problems.Report(o.args[0] + ": entry " + ToUtf8(name), why);
  }
  if (problems.Count() > 0)
    Fail(o.args[0], std::to_string(problems.Count()) + " of " + std::to_string(problems.Count() + done) +
                        " entries not extracted");
  std::printf("%s: %d entries extracted\n", o.args[0].c_str(), done);
  return 0;
}

int Add(const Options& o) {
  NeedArgs(o, 2, 3, "add PACK FILE [NAME] [-c KIND]");
  if (!o.byExtension.empty()) throw UsageError{"-x applies to create only"};
  const fs::path file = Absolute(o.args[1]);
  if (!fs::is_regular_file(file)) Fail(o.args[1], fs::exists(file) ? "is not a file" : "does not exist");
  const std::string entry = EntryNameOrFail(o.args.size() == 3 ? o.args[2] : file.filename().string());
  VXPack pack;
  Change change(pack, o.args[0], !fs::exists(Absolute(o.args[0])));
  const std::string why = AddOne(pack, entry, file, o.comp, true);
  const char* hint = o.args.size() == 2 ? " (a NAME after FILE gives the entry another name)" : "";
  if (!why.empty()) Fail(o.args[1], why + "; the pack is as it was" + hint);
  change.Commit();
  return 0;
}

int Delete(const Options& o) {
  NeedArgs(o, 2, SIZE_MAX, "delete PACK NAME...");
  VXPack pack;
  Change change(pack, o.args[0], false);
  Problems problems;
  for (std::size_t i = 1; i < o.args.size(); ++i) {
    std::string why;
    auto name = EntryName(o.args[i], why);
    if (!name || !pack.DelFile(name->c_str())) problems.Report(o.args[i], "is not in " + o.args[0]);
  }
  if (problems.Count() > 0) Fail(o.args[0], "nothing was deleted");
  change.Commit();
  return 0;
}

int Verify(const Options& o) {
  NeedArgs(o, 1, 1, "verify PACK");
  VXPack pack;
  Problems problems;
  const std::string name = PackName(o.args[0]);
  pack.verifyMode = VXPackVerifyFile;
  if (!pack.LoadPack(name.c_str())) {
    // A whole-file checksum that does not match still lets the entries be checked, to tell which are damaged.
    const std::string reason = Reason(pack, "cannot be loaded");
    pack.verifyMode = VXPackVerifyNone;
    if (!pack.LoadPack(name.c_str())) Fail(o.args[0], reason);
    problems.Report(o.args[0], reason);
  }
  char entry[kVXPackFullNameLength + 1];
  int count = 0;
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    pack.GetFileName(i, entry);
    if (*entry == '\0') continue;
    ++count;
    if (!pack.VerifyFileCrc(i)) {
      problems.Report(o.args[0] + ": entry " + ToUtf8(entry), "checksum does not match");
    } else if (pack.CheckFileName(entry) == i) {  // a later entry of the same name is never read
      VXStream* decoded = pack.VXMakeStream(entry);
      if (decoded == nullptr) problems.Report(o.args[0] + ": entry " + ToUtf8(entry), "does not decode");
      delete decoded;
    }
  }
  if (problems.Count() > 0) Fail(o.args[0], std::to_string(problems.Count()) + " problems found");
  std::printf("%s: %d entries, all good\n", o.args[0].c_str(), count);
  return 0;
}

struct Command {
  const char* name;
  int (*run)(const Options&);
  bool takesKinds;
};
constexpr Command kCommands[] = {{"create", Create, true}, {"list", List, false},     {"extract", Extract, false},
                                 {"add", Add, true},       {"delete", Delete, false}, {"verify", Verify, false}};

bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") return false;
    if (a == "--help" || a == "-h" || (i == 1 && a == "help")) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (argc < 2) throw UsageError{"no command"};
    const Command* command = nullptr;
    for (const Command& c : kCommands)
      if (std::strcmp(argv[1], c.name) == 0) command = &c;
    if (command == nullptr) throw UsageError{std::string(argv[1]) + ": unknown command"};
    const Options options = Parse(argc, argv);
    if (options.kindsGiven && !command->takesKinds) throw UsageError{std::string("-c and -x apply to create and add only")};
    return command->run(options);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "packtool: %s\n%s", e.text.c_str(), "Try 'packtool --help'.\n");
    return 2;
  } catch (const Failure& f) {
    std::fprintf(stderr, "packtool: %s\n", f.text.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "packtool: %s\n", e.what());
  }
  return 1;
}
