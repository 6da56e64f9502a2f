// Byte-oriented range coder with an adaptive ("quasi-static") frequency model.
//
// 32-bit code values, carry propagation through a count of pending bytes. Each call codes one whole memory buffer:
// the 256 byte values plus an end symbol (256). The model runs on from call to call on the same object; `Reset()`
// starts a fresh model. The saved games and every Cocotte block use this coder.
//
//   VXRangeEncode enc;
//   enc.Create();
//   if (enc.Encode(src, dst, srcLength, dstCapacity)) use(dst, enc.outputLength);
//
// A decoder that fills its destination exactly has succeeded (it need not have met the end symbol); a caller that
// needs an exact length compares `outputLength` with it.
#pragma once

#include <cstdint>
#include <vector>

class VXQSModel {
public:
  VXQSModel() = default;
  ~VXQSModel() { DeleteQSModel(); }
  VXQSModel(const VXQSModel&) = delete;
  VXQSModel& operator=(const VXQSModel&) = delete;

  // n symbols, a total of 1 << lgTotal, the largest rescale interval; init holds n starting frequencies (or is null
  // for an even spread). compress 0 builds the search table that decoding needs.
  bool InitQSModel(int n, int lgTotal, int rescale, const int* init, int compress);
  void ResetQSModel(const int* init);
  void DeleteQSModel();
  void DoRescale();  // throws std::runtime_error on inconsistent counts
  void QSGetFreq(int symbol, int* symbolFreq, int* lowFreq) const;
  int QSGetSym(int cumulative) const;  // cumulative below the total
  void QSUpdate(int symbol);
  bool IsInitialised() const { return initialised_; }

private:
  bool initialised_ = false;
  int n_ = 0;
  int left_ = 0;
  int nextLeft_ = 0;
  int rescale_ = 0;
  int targetRescale_ = 0;
  int increment_ = 0;
  int searchShift_ = 0;
  std::vector<std::uint16_t> cf_;       // n + 1 cumulative frequencies, cf[n] = total
  std::vector<std::uint16_t> newf_;     // counts gathered for the next rescale
  std::vector<std::uint16_t> search_;   // 513 slots, decoding only
};

// What the encoder and the decoder share: the model's life, one call at a time, the buffer cursors and the coder's
// state. A call refuses to start before Create() or while another runs; a source length below 1 gives output
// length 0 and true; an error leaves output length 0 and gives false.
class VXRangeCoder {
public:
  VXRangeCoder(const VXRangeCoder&) = delete;
  VXRangeCoder& operator=(const VXRangeCoder&) = delete;
  virtual ~VXRangeCoder() = default;

  bool Create();
  void Release();
  void Reset();

  int outputLength = 0;

protected:
  explicit VXRangeCoder(int compress) : compress_(compress) {}
  bool Run(const unsigned char* src, unsigned char* dst, int srcLength, int dstCapacity);
  virtual void Code() = 0;  // codes src_ into dst_; sets error_ or throws std::exception on failure

  bool error_ = false;
  const unsigned char* src_ = nullptr;
  unsigned char* dst_ = nullptr;
  std::int64_t read_ = 0;
  std::int64_t written_ = 0;
  std::int64_t srcLength_ = 0;
  std::int64_t dstCapacity_ = 0;
  std::uint32_t low_ = 0;
  std::uint32_t range_ = 0;
  unsigned char buffer_ = 0;
  std::uint32_t byteCount_ = 0;
  VXQSModel model_;

private:
  int compress_;
  bool created_ = false;
  bool busy_ = false;
};

class VXRangeEncode : public VXRangeCoder {
public:
  VXRangeEncode() : VXRangeCoder(1) {}
  // Codes the whole source. A source length below 1 gives output length 0 and true. A full destination is an error:
  // nothing is written past dstCapacity, output length 0, false.
  bool Encode(const unsigned char* src, unsigned char* dst, int srcLength, int dstCapacity) {
    return Run(src, dst, srcLength, dstCapacity);
  }

  void StartEncoding(unsigned char first, int initialCount);
  void EncodeFreq(int symbolFreq, int lowFreq, int total);
  void EncodeShift(int symbolFreq, int lowFreq, int shift);
  void EncNormalize();
  std::uint32_t DoneEncoding();

private:
  void Code() override;
  void OutByte(unsigned b);

  std::uint32_t pending_ = 0;
};

class VXRangeDecode : public VXRangeCoder {
public:
  VXRangeDecode() : VXRangeCoder(0) {}
  // Decodes until the end symbol or a full destination. Input that runs out (a source of fewer than 2 bytes
  // included) is an error: output length 0, false.
  bool Decode(const unsigned char* src, unsigned char* dst, int srcLength, int dstCapacity) {
    return Run(src, dst, srcLength, dstCapacity);
  }

  int StartDecoding();  // the first byte, or -1 when fewer than 2 source bytes remain
  void DecNormalize();
  std::uint32_t DecodeCulFreq(std::uint32_t total);
  std::uint32_t DecodeCulShift(int shift);
  void DecodeUpdate(std::uint32_t symbolFreq, std::uint32_t lowFreq, std::uint32_t total);
  unsigned DecodeByte();
  unsigned DecodeShort();
  void DoneDecoding();

private:
  void Code() override;
  unsigned InByte();

  std::uint32_t help_ = 0;
};
