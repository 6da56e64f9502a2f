// Ogg Vorbis from a code stream (not owned) into 16-bit signed little-endian interleaved PCM, through vorbisfile.
// The code stream must tell its length (seekable), so that the decoded length is known before playing. A file that
// cannot be opened leaves the stream not open with the reason in VXRefusal (core/vxrefusal.h).
#pragma once

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <vector>

#include "device/vxlpcmstream.h"

class VXOggStream : public VXPcmStream {
public:
  explicit VXOggStream(VXStream* code);
  ~VXOggStream() override { OggClose(); }

  bool OggOpen();
  bool OggClose();
  bool OggReset();
  bool OggSeek(int sample);

  int GetDecodeLength() override { return static_cast<int>(decodedLength_); }
  int GetDecodePoint() override { return static_cast<int>(position_); }
  int Decode(void* buffer, int count) override;
  bool Rewind() override { return OggReset(); }
  bool SeekSample(int sample) override { return OggSeek(sample); }

  // The callbacks handed to vorbisfile; `source` is the code stream.
  static size_t OggStream_Read(void* buffer, size_t size, size_t count, void* source);
  static int OggStream_Seek(void* source, ogg_int64_t offset, int whence);  // 0, or -1 on failure
  static int OggStream_Close(void* source);
  static long OggStream_Tell(void* source);

private:
  const char* Unplayable();
  bool OggConvert(std::uint8_t* buffer, int size);

  OggVorbis_File file_{};
  int bitstream_ = 0;
  std::vector<std::uint8_t> block_;  // one second of PCM
  std::int64_t position_ = 0;
  std::int64_t decodedLength_ = 0;
  std::size_t blockAt_ = 0;
  std::size_t undelivered_ = 0;
};
