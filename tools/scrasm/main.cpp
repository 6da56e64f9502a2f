// scrasm: the scenario script assembler and disassembler.
//
//   scrasm [-o DIR] SOURCE...   assembles the sources together into DIR (default: the current folder): Scene.tbl and
//                               one scr%05d.blv per script
//   scrasm -d DIR [-o OUTDIR]   disassembles DIR's Scene.tbl and scr*.blv into OUTDIR's scr%05d.scs
//
// Errors and warnings go to standard error as "file:line: message". Exit status 0 on success, 1 when a source has an
// error or a file cannot be read or written, 2 for a wrong command line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/scrasm/assembler.h"
#include "tools/scrasm/disassembler.h"

namespace {

namespace fs = std::filesystem;

int Usage() {
  std::fprintf(stderr,
               "usage: scrasm [-o DIR] SOURCE...      assemble into DIR (default .)\n"
               "       scrasm -d DIR [-o OUTDIR]      disassemble DIR into OUTDIR (default .)\n");
  return 2;
}

bool ReadFile(const fs::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const fs::path& path, const void* bytes, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "scrasm: cannot write %s\n", path.string().c_str());
  return false;
}

int AssembleFiles(const std::vector<std::string>& names, const fs::path& out) {
  std::vector<scrasm::TSource> sources;
  for (const std::string& name : names) {
    scrasm::TSource source{name, {}};
    if (!ReadFile(name, source.text)) {
      std::fprintf(stderr, "scrasm: cannot read %s\n", name.c_str());
      return 1;
    }
    sources.push_back(std::move(source));
  }
  scrasm::TFiles files;
  std::vector<scrasm::TDiagnostic> diagnostics;
  const bool ok = scrasm::Assemble(sources, files, diagnostics);
  for (const scrasm::TDiagnostic& d : diagnostics) std::fprintf(stderr, "%s\n", d.Format().c_str());
  if (!ok) return 1;
  std::error_code ec;
  fs::create_directories(out, ec);
  for (const auto& [name, bytes] : files)
    if (!WriteFile(out / name, bytes.data(), bytes.size())) return 1;
  return 0;
}

int DisassembleFolder(const fs::path& in, const fs::path& out) {
  scrasm::TFiles files;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(in, ec)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || (name != "Scene.tbl" && name.rfind("scr", 0) != 0)) continue;
    std::string bytes;
    if (!ReadFile(entry.path(), bytes)) {
      std::fprintf(stderr, "scrasm: cannot read %s\n", entry.path().string().c_str());
      return 1;
    }
    files[name].assign(bytes.begin(), bytes.end());
  }
  if (ec) {
    std::fprintf(stderr, "scrasm: cannot read the folder %s\n", in.string().c_str());
    return 1;
  }
  std::vector<scrasm::TSource> sources;
  std::string error;
  if (!scrasm::Disassemble(files, sources, error)) {
    std::fprintf(stderr, "scrasm: %s\n", error.c_str());
    return 1;
  }
  fs::create_directories(out, ec);
  for (const scrasm::TSource& source : sources)
    if (!WriteFile(out / source.name, source.text.data(), source.text.size())) return 1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = ".";
  std::string disassemble;
  std::vector<std::string> sources;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "-o" || arg == "-d") && i + 1 < argc) {
      (arg == "-o" ? out : disassemble) = argv[++i];
    } else if (arg.empty() || arg[0] == '-') {
      return Usage();
    } else {
      sources.push_back(arg);
    }
  }
  if (!disassemble.empty()) return sources.empty() ? DisassembleFolder(disassemble, out) : Usage();
  return sources.empty() ? Usage() : AssembleFiles(sources, out);
}
