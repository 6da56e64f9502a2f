// Why a reader refused its data. The readers of pictures and sounds report failure by false, null or a stream that
// is not open, and never throw; where they refuse, they also name the reason here, on the calling thread, so that a
// tool or a log can say "file: reason".
//
// A reader clears the reason when it starts (VXRefusalScope), so after a failed read the reason, when there is one,
// belongs to that read. A failure that named no reason leaves the text empty.
#pragma once

#include <cstddef>

// The reason of the latest refusal on this thread since the last clear; "" when none.
const char* VXRefusal();
// Records a reason (copied, cut to 255 bytes) and returns false, so that a reader can `return VXRefuse("...")`.
bool VXRefuse(const char* reason);
// The same for readers that answer with a null pointer: `return VXRefuseNull("...")`.
std::nullptr_t VXRefuseNull(const char* reason);
void VXClearRefusal();

// Clears the reason when a read starts. Nested reads (a sound factory over its decoder) clear only at the outermost
// one, so that the inner reader's reason survives the outer one's failure.
class VXRefusalScope {
public:
  VXRefusalScope();
  ~VXRefusalScope();
  VXRefusalScope(const VXRefusalScope&) = delete;
  VXRefusalScope& operator=(const VXRefusalScope&) = delete;
};
