#include "sdk/codecs/value_writer.h"

namespace Kelp {

void WriteValue(const BindingProperty& value, ValueWriter& writer) { WalkValue(value, writer); }

}  // namespace Kelp
