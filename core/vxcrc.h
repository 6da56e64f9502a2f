// CRC-16 over byte buffers: table-driven, reflected, start value 0xFFFF, no final XOR.
//
//   VXCrcCheck crc;                      // type 0 (polynomial 0x8408), the one every pack checksum uses
//   unsigned short c = crc.Crc(data, n); // == crc.UpDateCrc(0xFFFF, data, n)
//   c = crc.UpDateCrc(c, more, m);       // continues over further bytes
#pragma once

#include <cstdint>

enum VXCrcType : unsigned char {
  VXCRC_TYPE0 = 0,  // polynomial 0x8408
  VXCRC_TYPE1 = 1,  // polynomial 0xC001
};

class VXCrcCheck {
public:
  VXCrcCheck();

  void SetCrcType(VXCrcType type);  // rebuilds the table
  VXCrcType GetCrcType() const { return type_; }
  void MakeCrcTable();

  // A length below 1 leaves the CRC as it is.
  unsigned short UpDateCrc(unsigned short crc, const unsigned char* data, int length) const;
  unsigned short Crc(const unsigned char* data, int length) const { return UpDateCrc(0xFFFF, data, length); }

private:
  VXCrcType type_ = VXCRC_TYPE0;
  std::uint16_t table_[256] = {};
};
