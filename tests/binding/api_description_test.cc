#include "sdk/binding/api_description.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/type_builder.h"

namespace Kelp {
namespace {

// Packed fields are read by value: a reference to one may be misaligned.
template <class T>
T Copy(T value) {
  return value;
}

enum class Letter : std::int32_t { A = 2, B = 1 };

struct Holder {
  std::uint32_t count = 0;
  std::vector<Letter> letters;
  std::optional<std::string> note;
};

class ApiDescriptionTest : public ::testing::Test {
 protected:
  ApiDescriptionTest() {
    TypeBuilder<Letter>(registry_, "Letter").Value("A", Letter::A).Value("B", Letter::B, "bee");
    TypeBuilder<Holder>(registry_, "Holder")
        .Description("holds")
        .Tag("h")
        .Field("count", &Holder::count, "how many")
        .Field("letters", &Holder::letters, {}, TypeRef{BindingTypeCode::String})
        .Field("note", &Holder::note);
    FunctionRecord f;
    f.name = "GetHolder";
    f.arguments.push_back({"which", "", TypeRef{BindingTypeCode::Enum, {}, Find("Letter")},
                           TypeRef{BindingTypeCode::String}, true, 2});
    f.arguments.push_back(
        {"body", "b", TypeRef{BindingTypeCode::Struct, {}, Find("Holder")}, {}, false, 5});
    f.returns = TypeRef{BindingTypeCode::Vector, BindingTypeCode::Struct, Find("Holder")};
    f.async = true;
    f.tags = {"x", "y"};
    registry_.AddFunction(std::move(f));
  }

  const TypeRecord* Find(std::string_view name) { return registry_.FindByName(name); }

  static const ApiTypeRecord* TypeNamed(const ApiDescription& d, std::string_view name) {
    for (const ApiTypeRecord* t = d.types; t != nullptr; t = t->next) {
      if (name == t->name) return t;
    }
    return nullptr;
  }

  TypeRegistry registry_;
};

TEST_F(ApiDescriptionTest, RecordsAreLinkedContiguousAndCounted) {
  const ApiDescriptionTables tables = BuildApiDescription(registry_);
  const ApiDescription& d = tables.description();
  ASSERT_EQ(Copy(d.typeCount), 17u);
  std::uint32_t walked = 0;
  for (const ApiTypeRecord* t = d.types; t != nullptr; t = t->next, ++walked) {
    EXPECT_EQ(t, d.types + walked);
    if (walked > 0) {
      EXPECT_LT(std::strcmp(t[-1].name, t->name), 0);
    }
  }
  EXPECT_EQ(walked, d.typeCount);
  EXPECT_EQ(Copy(d.eventCount), 1u);
  EXPECT_EQ(Copy(d.events->next), nullptr);
  EXPECT_STREQ(d.events->typeName, "BindingCallbackEvent");
  EXPECT_EQ(Copy(d.functionCount), 1u);
}

TEST_F(ApiDescriptionTest, EnumValuesInNameOrderAndFieldsWithDescribedTypes) {
  const ApiDescriptionTables tables = BuildApiDescription(registry_);
  const ApiTypeRecord* letter = TypeNamed(tables.description(), "Letter");
  ASSERT_NE(letter, nullptr);
  EXPECT_EQ(Copy(letter->fields), nullptr);
  ASSERT_EQ(Copy(letter->count), 2u);
  EXPECT_STREQ(letter->values[0].name, "A");
  EXPECT_EQ(Copy(letter->values[0].value), 2);
  EXPECT_EQ(Copy(letter->values[0].next), &letter->values[1]);
  EXPECT_STREQ(letter->values[1].description, "bee");
  EXPECT_EQ(Copy(letter->values[1].next), nullptr);

  const ApiTypeRecord* holder = TypeNamed(tables.description(), "Holder");
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(Copy(holder->values), nullptr);
  ASSERT_EQ(Copy(holder->count), 3u);
  EXPECT_EQ(Copy(holder->tagCount), 1u);
  EXPECT_STREQ(holder->tags[0], "h");
  const ApiFieldRecord& letters = holder->fields[1];
  EXPECT_EQ(Copy(letters.type), 12u);  // the described type
  EXPECT_STREQ(letters.typeName, "");
  const ApiFieldRecord& note = holder->fields[2];
  EXPECT_EQ(Copy(note.optional), 1);
  EXPECT_EQ(Copy(note.offset), offsetof(Holder, note));
}

TEST_F(ApiDescriptionTest, FunctionRecordReportsTypesNamesAndAsync) {
  const ApiDescriptionTables tables = BuildApiDescription(registry_);
  const ApiFunctionRecord& f = *tables.description().functions;
  EXPECT_EQ(Copy(f.invoke.context), nullptr);
  EXPECT_STREQ(f.name, "GetHolder");
  EXPECT_EQ(Copy(f.returnType), 15u);
  EXPECT_EQ(Copy(f.returnElementType), 17u);
  EXPECT_STREQ(f.returnTypeName, "Holder");
  EXPECT_STREQ(f.async, "Holder");
  EXPECT_EQ(Copy(f.tagCount), 2u);
  ASSERT_EQ(Copy(f.argumentCount), 2u);
  EXPECT_EQ(Copy(f.arguments[0].type), 12u);
  EXPECT_STREQ(f.arguments[0].typeName, "");
  EXPECT_EQ(Copy(f.arguments[0].optional), 1);
  EXPECT_EQ(Copy(f.arguments[0].next), &f.arguments[1]);
  EXPECT_EQ(Copy(f.arguments[1].type), 17u);
  EXPECT_STREQ(f.arguments[1].typeName, "Holder");
}

TEST_F(ApiDescriptionTest, TablesSurviveAMove) {
  ApiDescriptionTables first = BuildApiDescription(registry_);
  const ApiTypeRecord* types = first.description().types;
  const ApiDescriptionTables moved = std::move(first);
  EXPECT_EQ(Copy(moved.description().types), types);
  EXPECT_STREQ(TypeNamed(moved.description(), "Holder")->description, "holds");
}

#if KELP_ABI_32BIT
template <class T>
T At(const void* base, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
  return value;
}
const char* TextAt(const void* base, std::size_t offset) {
  return reinterpret_cast<const char*>(At<std::uint32_t>(base, offset));
}

// Reads the description as the host does: raw bytes at fixed offsets.
TEST_F(ApiDescriptionTest, RawLayoutOfThe32BitBuild) {
  const ApiDescriptionTables tables = BuildApiDescription(registry_);
  const void* header = &tables.description();
  const auto* types = reinterpret_cast<const char*>(At<std::uint32_t>(header, 8));
  const std::uint32_t typeCount = At<std::uint32_t>(header, 12);
  const char* holder = nullptr;
  const char* letter = nullptr;
  for (std::uint32_t i = 0; i < typeCount; ++i) {
    const char* record = types + 40 * i;
    if (i + 1 < typeCount) {
      EXPECT_EQ(At<std::uint32_t>(record, 0), std::uint32_t(record + 40));
    }
    if (std::string_view(TextAt(record, 4)) == "Holder") holder = record;
    if (std::string_view(TextAt(record, 4)) == "Letter") letter = record;
  }
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(At<std::uint32_t>(holder, 12), sizeof(Holder));
  EXPECT_STREQ(TextAt(holder, 16), "holds");
  EXPECT_EQ(At<std::uint32_t>(holder, 24), 1u);
  EXPECT_EQ(At<std::uint32_t>(holder, 32), 0u);
  EXPECT_EQ(At<std::uint32_t>(holder, 36), 3u);
  const auto* fields = reinterpret_cast<const char*>(At<std::uint32_t>(holder, 28));
  EXPECT_EQ(At<std::uint32_t>(fields, 0), std::uint32_t(fields + 29));
  EXPECT_STREQ(TextAt(fields, 4), "count");
  EXPECT_STREQ(TextAt(fields, 8), "how many");
  EXPECT_EQ(At<std::uint32_t>(fields, 16), 7u);
  EXPECT_EQ(At<std::uint32_t>(fields + 29, 12), offsetof(Holder, letters));
  EXPECT_EQ(At<std::uint8_t>(fields + 58, 28), 1);

  ASSERT_NE(letter, nullptr);
  const auto* values = reinterpret_cast<const char*>(At<std::uint32_t>(letter, 32));
  EXPECT_STREQ(TextAt(values, 4), "A");
  EXPECT_EQ(At<std::int32_t>(values, 12), 2);
  EXPECT_STREQ(TextAt(values + 16, 4), "B");
  EXPECT_STREQ(TextAt(values + 16, 8), "bee");

  const auto* function = reinterpret_cast<const char*>(At<std::uint32_t>(header, 0));
  EXPECT_EQ(At<std::uint32_t>(header, 4), 1u);
  EXPECT_EQ(At<std::uint64_t>(function, 4), 0u);
  EXPECT_STREQ(TextAt(function, 12), "GetHolder");
  EXPECT_EQ(At<std::uint32_t>(function, 24), 2u);
  EXPECT_EQ(At<std::uint32_t>(function, 28), 15u);
  EXPECT_EQ(At<std::uint32_t>(function, 32), 17u);
  EXPECT_STREQ(TextAt(function, 49), "Holder");
  EXPECT_EQ(At<std::uint32_t>(function, 57), 2u);
  const auto* arguments = reinterpret_cast<const char*>(At<std::uint32_t>(function, 20));
  EXPECT_STREQ(TextAt(arguments + 25, 4), "body");
  EXPECT_EQ(At<std::uint32_t>(arguments + 25, 12), 17u);
  EXPECT_EQ(At<std::uint8_t>(arguments, 24), 1);

  const auto* event = reinterpret_cast<const char*>(At<std::uint32_t>(header, 16));
  EXPECT_STREQ(TextAt(event, 4), "OnCallback");
  EXPECT_STREQ(TextAt(event, 12), "BindingCallbackEvent");
  EXPECT_STREQ(TextAt(event, 16), "Fired when a callback is invoked.");
  EXPECT_EQ(At<std::uint32_t>(event, 24), 1u);
}
#endif

}  // namespace
}  // namespace Kelp
