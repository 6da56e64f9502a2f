#include "core/vxcrc.h"

VXCrcCheck::VXCrcCheck() { MakeCrcTable(); }

void VXCrcCheck::SetCrcType(VXCrcType type) {
  type_ = type;
  MakeCrcTable();
}

void VXCrcCheck::MakeCrcTable() {
  // Any type other than 1 falls back to the pack polynomial.
  const std::uint16_t poly = type_ == VXCRC_TYPE1 ? 0xC001 : 0x8408;
  for (unsigned i = 0; i < 256; ++i) {
    unsigned v = i;
    for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? (v >> 1) ^ poly : v >> 1;
    table_[i] = static_cast<std::uint16_t>(v);
  }
}

unsigned short VXCrcCheck::UpDateCrc(unsigned short crc, const unsigned char* data, int length) const {
  for (int i = 0; i < length; ++i) crc = static_cast<unsigned short>(table_[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}
