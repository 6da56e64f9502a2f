// The compiled scenario: the scene table, the script files and the instruction set of the script machine. What the
// engine reads and the script assembler (tools/scrasm) writes. Every number in these files is little-endian.
//
// Scene table "Scene.tbl": a 12-byte head (magic "QM01", u32 entry area size, u32 entry count), then the entries
// back to back. An entry: u16 entry size (all of it), u32 script number, 4 bytes unused, u32 start offset (a function
// record in the code section), u16 start date MMDD, u16 start time HHMM, u16 end date MMDD, u16 end time HHMM, then
// the scene name (CP932, zero-terminated). A start date 0 leaves the calendar alone; an end date 0 means no end time.
//
// Script "scr%05d.blv": a 64-byte header (below), then the code, data and text sections where the header places them.
// - Code: function records back to back: u16 record size, u16 unused, u16 name field length, 4 bytes unused, the
//   name field (the name, zero-terminated), then the function's instructions. Jumps and positions are byte offsets
//   into the code section.
// - Data: records at the offsets that the code pushes for Call and GoToScene. A call record: u16 unused, u16 kind,
//   then for kind 1 the u32 code offset of a function record of the same script, for kind 2 a zero-terminated target
//   "scrN::name" (or "::name" for the calling script). A scene-jump record: 4 bytes unused, the scene name.
// - Text: records back to back, numbered from 1: u16 record size (all of it), then the text, zero-terminated.
//
// Speaker table "SpeakTbl.csv": rows of character picture number (0-999) and speaker number.
#pragma once

#include <cstdint>

#include "core/vxstring.h"

namespace scrdef {

inline constexpr const char* kSceneTableName = "Scene.tbl";
inline constexpr const char* kScriptNameFormat = "scr%05d.blv";
inline constexpr const char* kSpeakerTableName = "SpeakTbl.csv";

// ---- Scene table ----
inline constexpr char kSceneMagic[4] = {'Q', 'M', '0', '1'};
inline constexpr int kSceneHeadSize = 12;
inline constexpr int kMaxScenes = 1024;  // names beyond these cannot be started
namespace entry {
inline constexpr int kSize = 0;
inline constexpr int kScript = 2;
inline constexpr int kStart = 10;
inline constexpr int kStartDate = 14;
inline constexpr int kStartTime = 16;
inline constexpr int kEndDate = 18;
inline constexpr int kEndTime = 20;
inline constexpr int kName = 22;  // the fixed part ends here
}  // namespace entry

// ---- Script header ----
inline constexpr int kHeaderSize = 64;
namespace header {
inline constexpr int kScript = 8;
inline constexpr int kStamp = 12;
inline constexpr int kCodeOffset = 28;
inline constexpr int kCodeSize = 32;
inline constexpr int kFunctionCount = 36;
inline constexpr int kDataOffset = 40;
inline constexpr int kDataSize = 44;
inline constexpr int kTextOffset = 52;
inline constexpr int kTextSize = 56;
inline constexpr int kTextCount = 60;
}  // namespace header

// ---- Records ----
namespace function {
inline constexpr int kSize = 0;
inline constexpr int kNameLength = 4;
inline constexpr int kName = 10;  // the fixed part ends here
inline constexpr int kMaxSize = 0xFFFF;
}  // namespace function
inline constexpr int kCallKind = 2;       // in a call record
inline constexpr int kCallTarget = 4;     // code offset (kind 1) or target text (kind 2)
inline constexpr int kCallLocal = 1;
inline constexpr int kCallNamed = 2;
inline constexpr int kSceneJumpName = 4;  // in a scene-jump record
inline constexpr int kTextRecordHead = 2;
inline constexpr int kMaxTextRecord = 0xFFFF;

// ---- Instructions ----
// Every instruction is a u16 opcode; Push and the jumps carry a u32 operand behind it.
enum TOpcode : std::uint16_t {
  opNop = 0, opPush = 1, opPop = 2, opJump = 3, opJumpIfZero = 4, opJumpIfNotZero = 5, opCall = 6,
  opDup = 8, opSwap = 9, opDupSecond = 10, opSwapSecondThird = 11, opReturn = 14, opEnd = 15, opNot = 16,
  opMul = 19, opDiv = 20, opMod = 21, opAdd = 22, opSub = 23,
  opLess = 24, opLessEqual = 25, opGreater = 26, opGreaterEqual = 27, opEqual = 28, opNotEqual = 29,
  opAnd = 30, opOr = 31,
  opSetFlag = 32, opGetFlag = 33, opSetSystemFlag = 34, opGetSystemFlag = 35, opSetVar = 36, opGetVar = 37,
  opSetSystemVar = 38, opGetSystemVar = 39, opSetString = 40, opSignBit = 41, opSetResult = 42, opPushResult = 43,
  opGetSystemFlagCopy = 44, opGetSystemVarCopy = 45, opPushResult2 = 46, opGoToScene = 48,
  opFirstCommand = 64,  // the game commands run through the adventure host
  opMessage = 64, opChoice = 120, opEndScript = 123,
  opLastCommand = 164,
};
inline constexpr int kOpcodeCount = 165;

constexpr int GetOpcodeLength(int opcode) {
  return opcode == opPush || opcode == opJump || opcode == opJumpIfZero || opcode == opJumpIfNotZero ? 6 : 2;
}

// An opcode as a script writer names it. Arguments are the words the instruction pops, in push order; a string
// argument is a string operand (0 the empty string, bit 31 a string slot, else a text record number).
struct TOpcodeInfo {
  const char* name;
  std::uint8_t args;
  std::uint8_t stringArgs;  // bit i: argument i is a string operand
  std::uint8_t results;     // words pushed
  bool waits;               // waits for the host's answer, which is then pushed
  int textLimit;            // the longest string argument the command can use, in bytes (0: no limit of its own)
};

// Null for an opcode without an instruction.
const TOpcodeInfo* GetOpcodeInfo(int opcode);
// The opcode of a name (ASCII case not regarded), or -1.
int FindOpcode(const char* name);

// A call target "scrN::name": script N (0-65535) and the function name; "::name" names the calling script and
// gives script -1. The script part is read without regard to case. False for any other form.
bool ParseCallTarget(const VXString& target, int& script, VXString& function);

}  // namespace scrdef
