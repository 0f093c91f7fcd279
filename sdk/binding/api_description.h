// The C-layout API description handed to the plugin host: linked, packed
// arrays of function, type and event records (sdk/plugin/abi.h), built from a
// TypeRegistry.
//
//   ApiDescriptionTables tables = BuildApiDescription(registry);
//   descriptor.types = tables.description().types;  // valid while `tables` lives
//
// Each array is contiguous and each record's `next` points to the following
// record of the same array (null after the last). Types come in name order
// with their fields in registration order and their enum values in name
// order; events and functions come in name order. A field's or argument's
// described type, when set, is reported instead of its type. Every text is
// NUL-terminated and owned by the tables.
#ifndef KELP_SDK_BINDING_API_DESCRIPTION_H_
#define KELP_SDK_BINDING_API_DESCRIPTION_H_

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"

namespace Kelp {

// Owns the texts and arrays that API records point to. Pointers it hands out
// stay valid for its lifetime, also after it is moved.
class ApiRecordStorage {
 public:
  ApiRecordStorage() = default;
  ApiRecordStorage(const ApiRecordStorage&) = delete;
  ApiRecordStorage& operator=(const ApiRecordStorage&) = delete;
  ApiRecordStorage(ApiRecordStorage&&) = default;
  ApiRecordStorage& operator=(ApiRecordStorage&&) = default;

  // A stored copy of `text`.
  const char* Text(std::string_view text);
  // A stored array of stored texts; null when `texts` is empty.
  const char* const* TextList(const std::vector<std::string>& texts);

  // Fills everything of `record` but `next` and `invoke` (left zero): names,
  // the linked argument records, return type, texts, flags and tags. The REST
  // layer uses this for the description part of its endpoint records.
  void FillFunction(ApiFunctionRecord& record, const FunctionRecord& function);

 private:
  std::deque<std::string> texts_;
  std::deque<std::vector<const char*>> textLists_;
  std::deque<std::vector<ApiArgumentRecord>> arguments_;
};

class ApiDescriptionTables {
 public:
  ApiDescriptionTables() = default;
  ApiDescriptionTables(const ApiDescriptionTables&) = delete;
  ApiDescriptionTables& operator=(const ApiDescriptionTables&) = delete;
  ApiDescriptionTables(ApiDescriptionTables&&) = default;
  ApiDescriptionTables& operator=(ApiDescriptionTables&&) = default;

  // The header: pointers to the three arrays (null when empty) and counts.
  const ApiDescription& description() const { return header_; }

 private:
  friend ApiDescriptionTables BuildApiDescription(const TypeRegistry& registry);

  ApiRecordStorage storage_;
  std::vector<ApiFunctionRecord> functions_;
  std::vector<ApiTypeRecord> types_;
  std::deque<std::vector<ApiFieldRecord>> fields_;
  std::deque<std::vector<ApiEnumValueRecord>> values_;
  std::vector<ApiEventRecord> events_;
  ApiDescription header_{};
};

// Builds the registry's description (function records with a zero `invoke`
// block). Takes the registry's lock only for its snapshots; registration
// must be over.
ApiDescriptionTables BuildApiDescription(const TypeRegistry& registry);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_API_DESCRIPTION_H_
