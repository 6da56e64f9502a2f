// Cocotte: the block-sorting compressor of the pack archives (compression kind 2).
//
// Each block of input goes through a Burrows-Wheeler transform, a move-to-front transform and the range coder, and
// is stored as the move-to-front output when coding does not make it smaller. A stream has no header of its own (the
// caller knows the stored and the decoded length); it is a sequence of blocks:
//   u16 S   size of the whole block, this header included
//   u16 L   bytes the block stands for, 1 to 32,768
//   S - 4   payload: when S = L + 6 the L + 2 move-to-front bytes as they are, else their range coding
// The L + 2 bytes, after the inverse move-to-front, are a u16 primary index and the transform's last column.
// The move-to-front list and the range coder's model run on from block to block; both sides reset the model after
// a stored block. The three encoders differ only in their block size; one decoder reads them all.
//
//   VXCocotteDecode dec;
//   bool ok = dec.Decode(storedSize, size, in.ReadCallback(), out.WriteCallback(), {});
#pragma once

#include <cstdint>
#include <vector>

#include "core/vxbytepipe.h"
#include "core/vxrange.h"

class VXBWTEncode {
public:
  bool Create();
  void Release();
  // Writes length + 2 bytes: the primary index (u16 little-endian) and the last column. 1 <= length <= 65,536.
  bool Encode(const unsigned char* block, unsigned char* out, int length);

private:
  void SortRotations(const unsigned char* block, int length);

  bool created_ = false;
  bool busy_ = false;
  std::vector<std::uint32_t> order_;  // rotation starts, in sorted order
  std::vector<std::uint32_t> rank_;   // equivalence class of each rotation start
  std::vector<std::uint32_t> work_;
  std::vector<std::uint32_t> nextRank_;
  std::vector<std::uint32_t> counts_;
};

class VXBWTDecode {
public:
  bool Create(int maxLength);  // at most 65,536
  void Release();
  // in holds length bytes: the primary index and length - 2 bytes of last column; out receives length - 2 bytes.
  // A primary index not below length - 2 is refused.
  bool Decode(const unsigned char* in, unsigned char* out, int length);

private:
  bool busy_ = false;
  int maxLength_ = 0;
  std::vector<std::uint32_t> successor_;
};

class VXMTFEncode {
public:
  VXMTFEncode() { Initialize(); }
  void Initialize();  // the identity list
  bool Encode(unsigned char* buffer, int length);

private:
  unsigned char list_[256];
};

class VXMTFDecode {
public:
  VXMTFDecode() { Initialize(); }
  void Initialize();
  bool Decode(unsigned char* buffer, int length);

private:
  unsigned char list_[256];
};

// The 32,768-byte block encoder; the LE and Mini encoders below differ only in block size.
class VXCocotteEncode : public VXPumpCoder {
public:
  VXCocotteEncode() : VXCocotteEncode(32768, "VXCocotteEncode") {}
  // outSize is the most output allowed; passing it fails the call. inSize 0 succeeds at once.
  bool Encode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress) {
    return Run(inSize, outSize, read, write, progress);
  }

protected:
  VXCocotteEncode(int blockSize, const char* name) : VXPumpCoder(Role::kEncoder, name), blockSize_(blockSize) {}

private:
  void Start() override;
  bool Code() override;
  std::int64_t Produced() const override { return produced_; }
  void WriteOutBuffer(int length);
  void EncodeBlock(int length);

  int blockSize_;
  std::int64_t consumed_ = 0;
  std::int64_t produced_ = 0;
  std::vector<unsigned char> in_;
  std::vector<unsigned char> work_;
  std::vector<unsigned char> out_;
  VXBWTEncode bwt_;
  VXMTFEncode mtf_;
  VXRangeEncode range_;
};

class VXCocotteLEEncode : public VXCocotteEncode {
public:
  VXCocotteLEEncode() : VXCocotteEncode(8192, "VXCocotteLEEncode") {}
};

class VXCocotteMiniEncode : public VXCocotteEncode {
public:
  VXCocotteMiniEncode() : VXCocotteEncode(1024, "VXCocotteMiniEncode") {}
};

class VXCocotteDecode : public VXPumpCoder {
public:
  VXCocotteDecode() : VXPumpCoder(Role::kDecoder, "VXCocotteDecode") {}
  // outSize is the exact decoded length: exactly outSize bytes are written (the last block is cut). A damaged block
  // (sizes out of range, a payload that does not decode to L + 2 bytes, a bad primary index) or input that ends
  // first fails the call.
  bool Decode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress) {
    return Run(inSize, outSize, read, write, progress);
  }

private:
  void Start() override;
  bool Code() override;
  std::int64_t Produced() const override { return produced_; }
  int ReadInBuffer();  // one block; returns L
  void WriteOutBuffer(int length);
  void DecodeBlock(int length);

  std::int64_t consumed_ = 0;
  std::int64_t produced_ = 0;
  int blockBytes_ = 0;  // S of the block in in_
  std::vector<unsigned char> in_;
  std::vector<unsigned char> work_;
  std::vector<unsigned char> out_;
  VXBWTDecode bwt_;
  VXMTFDecode mtf_;
  VXRangeDecode range_;
};
