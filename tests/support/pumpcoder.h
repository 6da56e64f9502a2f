// Checks the pump coders' tests share.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/vxbytepipe.h"

// A reused decoder fails on the first half of `packed`, then decodes the whole of it back to `plain`.
template <class Decoder>
void ExpectCutFailsThenWholeDecodes(Decoder& dec, const std::vector<unsigned char>& packed,
                                    const std::vector<unsigned char>& plain) {
  const auto plainSize = static_cast<int>(plain.size());
  VXByteSource cut(packed.data(), packed.size() / 2);
  VXByteSink lost;
  EXPECT_FALSE(dec.Decode(static_cast<int>(packed.size() / 2), plainSize, cut.ReadCallback(), lost.WriteCallback(), {}));
  VXByteSource whole(packed.data(), packed.size());
  VXByteSink back;
  EXPECT_TRUE(dec.Decode(static_cast<int>(packed.size()), plainSize, whole.ReadCallback(), back.WriteCallback(), {}));
  EXPECT_EQ(back.Bytes(), plain) << plain.size();
}
