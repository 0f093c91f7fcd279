// EndpointTable: the array of 90-byte endpoint function records that the
// plugin's API descriptor points to, one per function in the registry (in
// ascending name order), each linked to the next and carrying its endpoint
// as the context word the host hands back on invoke.
//
// The table owns every record, text and array it points to, and keeps the
// endpoints alive; the records stay valid and unchanged until the table is
// destroyed. Build it once registration is over. Not copyable or movable.
#ifndef KELP_SDK_REST_ENDPOINT_TABLE_H_
#define KELP_SDK_REST_ENDPOINT_TABLE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/binding/api_description.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"

namespace Kelp {

class EndpointTable {
 public:
  explicit EndpointTable(const TypeRegistry& registry);
  EndpointTable(const EndpointTable&) = delete;
  EndpointTable& operator=(const EndpointTable&) = delete;

  // The first record (null when there are none) and the count.
  EndpointFunctionRecord* records() { return records_.empty() ? nullptr : records_.data(); }
  std::uint32_t count() const { return static_cast<std::uint32_t>(records_.size()); }

 private:
  std::vector<EndpointFunctionRecord> records_;
  ApiRecordStorage storage_;
  std::vector<std::unique_ptr<ParameterLocationRecord[]>> locations_;
  std::vector<std::shared_ptr<void>> endpoints_;
};

}  // namespace Kelp

#endif  // KELP_SDK_REST_ENDPOINT_TABLE_H_
