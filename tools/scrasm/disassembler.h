// The script disassembler: a compiled scene table and its scripts back into sources of the assembler, one
// "scr%05d.scs" per script with the scenes that start in it. Arguments pushed right before an instruction are written
// as its arguments, texts at the places that use them, jump targets inside a function as labels.
#pragma once

#include <string>
#include <vector>

#include "tools/scrasm/assembler.h"

namespace scrasm {

// The sources of "Scene.tbl" and every "scr%05d.blv" among the files (others are ignored). False, with a message,
// when the files hold what the source form cannot say: the sources always assemble to the same bytes.
bool Disassemble(const TFiles& files, std::vector<TSource>& sources, std::string& error);

}  // namespace scrasm
