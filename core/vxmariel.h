// Mariel: the LZSS-type byte compressor of the pack archives (compression kind 1).
//
// A Mariel stream has no header; the caller knows the stored and the decoded length. It is a sequence of groups:
// a u32 little-endian flag word, then up to 32 items, bit 31 for the first (1 a match, 0 a literal byte). A match
// is a token T (H = T >> 4, D = T & 15) with optional extensions:
//   length    H 0-13 -> H + 1; H 14 -> next byte; H 15 -> next two bytes, u16 little-endian
//   distance  D 0-9  -> D + 1; D 10-15 -> (D - 10) * 256 + next byte
// The encoder uses distances 1 to 1,535 and lengths 2 to 8,192.
//
// Both coders are pumps: they pull input through `read`, push output through `write` (each must move exactly the
// asked count) and report progress in percent when `progress` is bound.
//
//   VXMarielDecode dec;
//   bool ok = dec.Decode(storedSize, size, in.ReadCallback(), out.WriteCallback(), {});
#pragma once

#include <cstdint>
#include <vector>

#include "core/vxbytepipe.h"

struct VXMarielHashNode {
  std::uint16_t key;
  std::uint32_t position;
  VXMarielHashNode* previous;  // newer node of the same key, null at the head
  VXMarielHashNode* next;      // older node of the same key
};

// The encoder's match finder: one chain per 2-byte key (first byte low), newest first, over a ring of nodes; adding
// a node reuses the oldest slot once the ring is full.
class VXMarielHash {
public:
  bool Create(int nodes);
  void Init();
  void AddNode(unsigned short key, std::uint32_t position);
  VXMarielHashNode* FirstNode(unsigned short key) const { return heads_.empty() ? nullptr : heads_[key]; }
  VXMarielHashNode* NextNode(const VXMarielHashNode* node) const { return node->next; }
  void Release();

private:
  std::vector<VXMarielHashNode*> heads_;
  std::vector<VXMarielHashNode> nodes_;
  std::size_t nextSlot_ = 0;
  std::size_t used_ = 0;
};

class VXMarielEncode : public VXPumpCoder {
public:
  VXMarielEncode() : VXPumpCoder(Role::kEncoder, "VXMarielEncode") {}
  // outSize is the most output allowed; passing it fails the call. inSize 0 succeeds at once.
  bool Encode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress) {
    return Run(inSize, outSize, read, write, progress);
  }

private:
  void Start() override;
  bool Code() override;
  std::int64_t Produced() const override { return flushed_; }
  void ReadInBuffer(std::int64_t position);
  void WriteOutBuffer();

  void Put(unsigned byte);
  void ReserveFlagWord();
  void StoreFlagWord();
  int FindMatch(std::int64_t position, int* distance) const;
  void AddPosition(std::int64_t position);
  void PutMatch(int length, int distance);

  std::vector<unsigned char> in_;   // history, then the look-ahead
  std::vector<unsigned char> out_;
  std::int64_t inBase_ = 0;         // input position of in_[0]
  std::int64_t inEnd_ = 0;          // input position after the last byte held
  std::int64_t consumed_ = 0;       // input bytes coded
  std::int64_t outLength_ = 0;      // bytes held in out_
  std::int64_t flushed_ = 0;        // bytes already written
  std::int64_t flagPos_ = -1;       // place of the open group's flag word in out_
  std::uint32_t flags_ = 0;
  std::uint32_t mask_ = 0;
  int items_ = 0;
  VXMarielHash hash_;
};

class VXMarielDecode : public VXPumpCoder {
public:
  VXMarielDecode() : VXPumpCoder(Role::kDecoder, "VXMarielDecode") {}
  // outSize is the exact decoded length: exactly outSize bytes are written (a last match is cut). Input that ends
  // first, or a match reaching before the data produced, fails the call.
  bool Decode(int inSize, int outSize, VXReadCallback read, VXWriteCallback write, VXProgressCallback progress) {
    return Run(inSize, outSize, read, write, progress);
  }

private:
  void Start() override;
  bool Code() override;
  std::int64_t Produced() const override { return produced_; }
  void ReadInBuffer();
  void WriteOutBuffer();

  void DecodeItems();

  std::vector<unsigned char> in_;
  std::vector<unsigned char> out_;  // history, then the bytes not yet written
  int inPos_ = 0;
  int inLength_ = 0;
  std::int64_t taken_ = 0;     // input bytes read through the callback
  int outPos_ = 0;
  int pendingStart_ = 0;       // first byte of out_ not yet written
  std::int64_t produced_ = 0;
  std::uint32_t flags_ = 0;
  int items_ = 0;
};
