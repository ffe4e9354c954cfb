#include "Buffer.h"

namespace termcore {

// Reflow of wrapped lines on a width change (normal screen only).
void Buffer::reflowWider(int, int, int) {}
void Buffer::reflowNarrower(int, int, int) {}

} // namespace termcore
