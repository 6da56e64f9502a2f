// Stream utilities beside the pack code: running a coder from one stream into another, and the pack format's
// CRC-16 over the next bytes of a stream.
//
//   VXCompStream comp;
//   int packed = 0;
//   comp.EncodeBuffer(&plain, plainSize, &out, &packed, VXCompMariel);
//   out.Reset();
//   comp.DecodeBuffer(&out, packed, &back, plainSize, VXCompMariel);
#pragma once

#include "core/vxbytepipe.h"
#include "core/vxstream.h"

// Coder choice of the compressing stream. Decoding knows only Mariel (0) and Cocotte (any other value).
enum VXCompKind : int {
  VXCompMariel = 0,
  VXCompCocotte = 1,      // 32,768-byte blocks
  VXCompCocotteLE = 2,    // 8,192-byte blocks
  VXCompCocotteMini = 3,  // 1,024-byte blocks; also any value above
};

// The coders behind one kind, for every caller that picks a coder by kind (the pack writer and reader too).
// resultSize receives the encoded size on success. Exceptions from the coders become false.
bool VXRunEncoder(int kind, int inSize, int outSize, VXReadCallback read, VXWriteCallback write,
                  VXProgressCallback progress, int* resultSize);
bool VXRunDecoder(int kind, int inSize, int outSize, VXReadCallback read, VXWriteCallback write,
                  VXProgressCallback progress);

class VXCompStream {
public:
  // Encodes inSize bytes from the source's position into the destination, at most 2 * inSize bytes of output.
  // *outSize (when given) receives the encoded size, 0 on failure.
  bool EncodeBuffer(VXStream* source, int inSize, VXStream* destination, int* outSize, int kind);
  // Decodes inSize stored bytes into exactly outSize bytes.
  bool DecodeBuffer(VXStream* source, int inSize, VXStream* destination, int outSize, int kind);

  int CallbackRead(void* buffer, int count);
  int CallbackWrite(void* buffer, int count);

private:
  VXStream* source_ = nullptr;
  VXStream* destination_ = nullptr;
};

// The CRC-16 (type 0, start 0xFFFF) of the next length bytes of the stream. False, *crc unchanged, when the stream
// holds fewer.
bool VXCrcStream(VXStream* stream, int length, unsigned short* crc);
