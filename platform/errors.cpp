#include "platform/checked.h"

namespace pv {

void ThrowOverflow() {
  throw EIntOverflow();
}
void ThrowRange() {
  throw ERangeError();
}

}  // namespace pv
