#include "sdk/binding/conversion.h"

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/binding/type_builder.h"

namespace Kelp {
namespace {

BindingProperty Str(std::string_view text) {
  BindingProperty p;
  p.SetString(text);
  return p;
}
BindingProperty Signed(std::int64_t v) {
  BindingProperty p;
  p.SetSigned(v);
  return p;
}
BindingProperty Unsigned(std::uint64_t v) {
  BindingProperty p;
  p.SetUnsigned(v);
  return p;
}
BindingProperty Float(double v) {
  BindingProperty p;
  p.SetFloat(v);
  return p;
}
BindingProperty Bool(bool v) {
  BindingProperty p;
  p.SetBool(v);
  return p;
}
BindingProperty Collection() {
  BindingProperty p;
  p.MakeCollection();
  return p;
}

enum class Rank : std::int32_t { First = 1, Second = 2, Alias = 2 };

struct Inner {
  std::int32_t number = 7;
  std::string label = "default";
};

struct Sample {
  bool flag = false;
  std::int32_t i32 = 0;
  std::uint32_t u32 = 0;
  std::uint64_t u64 = 0;
  double real = 0;
  std::string text;
  Rank rank = Rank::First;
  Inner inner;
  std::vector<Inner> list;
  std::map<std::string, std::int32_t> counts;
  std::optional<std::string> maybeText;
  std::optional<Inner> maybeInner;
  BindingProperty any;
};

class ConversionTest : public ::testing::Test {
 public:
  ConversionTest() {
    TypeBuilder<Rank>(registry_, "Rank")
        .Value("First", Rank::First)
        .Value("Second", Rank::Second)
        .Value("Alias", Rank::Alias);
    TypeBuilder<Inner>(registry_, "Inner")
        .Field("number", &Inner::number)
        .Field("label", &Inner::label);
    TypeBuilder<Sample>(registry_, "Sample")
        .Field("flag", &Sample::flag)
        .Field("i32", &Sample::i32)
        .Field("u32", &Sample::u32)
        .Field("u64", &Sample::u64)
        .Field("real", &Sample::real)
        .Field("text", &Sample::text)
        .Field("rank", &Sample::rank)
        .Field("inner", &Sample::inner)
        .Field("list", &Sample::list)
        .Field("counts", &Sample::counts)
        .Field("maybeText", &Sample::maybeText)
        .Field("maybeInner", &Sample::maybeInner)
        .Field("any", &Sample::any);
  }

  // Converts `in` into `out` under the field name "f"; the error text or "".
  template <class T>
  std::string Read(const BindingProperty& in, T& out) {
    ConversionResult result;
    FromProperty(result, in, "f", out, registry_);
    return std::string(result.error());
  }

  TypeRegistry registry_;
};

template <class T>
struct Row {
  BindingProperty input;
  T expected;         // when `error` is empty
  const char* error;  // exact message, or ""
};

template <class T>
void RunRows(ConversionTest* test, const std::vector<Row<T>>& rows,
             std::string (ConversionTest::*read)(const BindingProperty&, T&)) {
  for (const auto& row : rows) {
    SCOPED_TRACE(ToText(row.input) + " (" + KindName(row.input.kind()) + ")");
    T out{};
    EXPECT_EQ((test->*read)(row.input, out), row.error);
    if (*row.error == '\0') {
      EXPECT_EQ(out, row.expected);
    }
  }
}

TEST_F(ConversionTest, BoolAcceptsOnlyBoolsAndFourExactTexts) {
  const std::vector<Row<bool>> rows = {
      {Bool(true), true, ""},
      {Str("1"), true, ""},
      {Str("true"), true, ""},
      {Str("0"), false, ""},
      {Str("false"), false, ""},
      {Str("TRUE"), false,
       "Value TRUE for 'f' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {Signed(1), false,
       "Couldn't assign value to 'f' of type bool because the input is of an invalid type "
       "signed."},
      {BindingProperty(), false, "A value for 'f' is required."},
  };
  RunRows<bool>(this, rows, &ConversionTest::Read<bool>);
}

TEST_F(ConversionTest, Int32ParsesTextWithBaseAndChecksBounds) {
  const std::vector<Row<std::int32_t>> rows = {
      {Str("0x10"), 16, ""},
      {Str("010"), 8, ""},
      {Str(" -42"), -42, ""},
      {Str(""), 0, ""},
      {Str("12abc"), 0, "Value 12abc for 'f' of type int32 is in an incorrect format"},
      {Str("12 "), 0, "Value 12  for 'f' of type int32 is in an incorrect format"},
      {Str("2147483648"), 0, "Value 2147483648 for 'f' of type int32 is out of range"},
      {Str("99999999999999999999"), 0,
       "Value 99999999999999999999 for 'f' of type int32 is out of range"},
      {Signed(2147483647), 2147483647, ""},
      {Signed(-2147483648LL), -2147483647 - 1, ""},
      {Signed(2147483648LL), 0, "Value 2147483648 for 'f' of type int32 is out of range"},
      {Unsigned(2147483648ULL), 0, "Value 2147483648 for 'f' of type int32 is out of range"},
      {Float(-3.9), -3, ""},
      {Float(2147483647.0), 2147483647, ""},
      {Float(2147483647.5), 0, "Value 2.14748e+09 for 'f' of type int32 is out of range"},
      {Float(2147483648.0), 0, "Value 2.14748e+09 for 'f' of type int32 is out of range"},
      {Float(-2147483648.5), 0, "Value -2.14748e+09 for 'f' of type int32 is out of range"},
      {Float(std::nan("")), 0, "Value nan for 'f' of type int32 is out of range"},
      {Bool(true), 0,
       "Couldn't assign value to 'f' of type int32 because the input is of an invalid type "
       "bool."},
      {Collection(), 0,
       "Couldn't assign value to 'f' of type int32 because the input is of an invalid type "
       "collection."},
      {BindingProperty(), 0, "A value for 'f' is required."},
  };
  RunRows<std::int32_t>(this, rows, &ConversionTest::Read<std::int32_t>);
}

TEST_F(ConversionTest, UnsignedRefusesNegativesInEveryForm) {
  const std::vector<Row<std::uint32_t>> rows = {
      {Str("-1"), 0, "Value -1 for 'f' of type uint32 is out of range"},
      {Str("4294967295"), 4294967295u, ""},
      {Str("4294967296"), 0, "Value 4294967296 for 'f' of type uint32 is out of range"},
      {Float(3.9), 3, ""},
      {Float(4294967295.0), 4294967295u, ""},
      {Float(4294967295.5), 0, "Value 4.29497e+09 for 'f' of type uint32 is out of range"},
      {Float(-0.5), 0, "Value -0.5 for 'f' of type uint32 is out of range"},
      {Signed(-1), 0, "Value -1 for 'f' of type uint32 is out of range"},
      {Unsigned(4294967296ULL), 0, "Value 4294967296 for 'f' of type uint32 is out of range"},
  };
  RunRows<std::uint32_t>(this, rows, &ConversionTest::Read<std::uint32_t>);

  // strtoull would turn these into 2^64 - 1 and 2^64 - 5.
  const std::vector<Row<std::uint64_t>> wide = {
      {Str(" -1"), 0, "Value  -1 for 'f' of type uint64 is out of range"},
      {Str("-5"), 0, "Value -5 for 'f' of type uint64 is out of range"},
      {Str("18446744073709551615"), std::numeric_limits<std::uint64_t>::max(), ""},
      {Str("18446744073709551616"), 0,
       "Value 18446744073709551616 for 'f' of type uint64 is out of range"},
      // 2^64 as a double equals the bound as a double; it must still fail.
      {Float(18446744073709551616.0), 0,
       "Value 1.84467e+19 for 'f' of type uint64 is out of range"},
  };
  RunRows<std::uint64_t>(this, wide, &ConversionTest::Read<std::uint64_t>);
}

TEST_F(ConversionTest, Int64RefusesTwoToTheSixtyThreeAsFloat) {
  std::int64_t out = 0;
  EXPECT_EQ(Read(Float(9223372036854775808.0), out),
            "Value 9.22337e+18 for 'f' of type int64 is out of range");
  EXPECT_EQ(Read(Float(-9223372036854775808.0), out), "");
  EXPECT_EQ(out, std::numeric_limits<std::int64_t>::min());
}

TEST_F(ConversionTest, DoubleAcceptsNumbersAndRefusesNanAndOverflow) {
  const std::vector<Row<double>> rows = {
      {Signed(-3), -3.0, ""},
      {Unsigned(5), 5.0, ""},
      {Str("2.5e3"), 2500.0, ""},
      {Str("1e999"), 0, "Value 1e999 for 'f' of type double is out of range"},
      {Str("1.5x"), 0, "Value 1.5x for 'f' of type double is in an incorrect format"},
      {Str("nan"), 0, "Value nan for 'f' of type double is out of range"},
      {Float(std::nan("")), 0, "Value nan for 'f' of type double is out of range"},
      {Float(INFINITY), 0, "Value inf for 'f' of type double is out of range"},
  };
  RunRows<double>(this, rows, &ConversionTest::Read<double>);
}

TEST_F(ConversionTest, EnumByNameThenByNumber) {
  BindingProperty foreignEnum;
  foreignEnum.SetEnum(2, StaticTypeOf<int>());
  const std::vector<Row<Rank>> rows = {
      {Str("Second"), Rank::Second, ""},
      {Str("2"), Rank::Second, ""},
      {Str("0x1"), Rank::First, ""},
      {Signed(1), Rank::First, ""},
      {Unsigned(0x100000002ULL), Rank::Second, ""},  // the low 32 bits count
      {foreignEnum, Rank::Second, ""},
      {Str("Two"), Rank::First, "Two is not a valid Rank enumeration value for 'f'."},
      {Str("3"), Rank::First, "3 is not a valid Rank enumeration value for 'f'."},
      {Signed(3), Rank::First, "3 is not a valid Rank enumeration value for 'f'."},
      {Float(1.0), Rank::First,
       "Couldn't assign value to 'f' of enum type because the input is of an invalid type "
       "float."},
  };
  RunRows<Rank>(this, rows, &ConversionTest::Read<Rank>);
}

TEST_F(ConversionTest, StringNeverTakesNumbersButNamesEnums) {
  BindingProperty named;
  named.SetEnum(1, StaticTypeOf<Rank>());
  BindingProperty unnamed;
  unnamed.SetEnum(9, StaticTypeOf<Rank>());
  const std::vector<Row<std::string>> rows = {
      {Str("x"), "x", ""},
      {named, "First", ""},
      {unnamed, "", "9 is not a valid enumeration value for 'f'."},
      {Signed(1), "", "Couldn't assign value to 'f' because the input is not a string."},
      {BindingProperty(), "", "A value for 'f' is required."},
  };
  RunRows<std::string>(this, rows, &ConversionTest::Read<std::string>);
}

TEST_F(ConversionTest, RecordKeepsDefaultsForMissingFieldsAndStopsAtFirstFailure) {
  BindingProperty in;
  in["i32"].SetString("0x10");
  in["inner"]["label"].SetString("set");
  in["unknown"].SetSigned(1);
  in["text"];  // empty: left as it was
  Sample out;
  out.text = "kept";
  EXPECT_EQ(Read(in, out), "");
  EXPECT_EQ(out.i32, 16);
  EXPECT_EQ(out.inner.number, 7);
  EXPECT_EQ(out.inner.label, "set");
  EXPECT_EQ(out.text, "kept");

  BindingProperty bad;
  bad["flag"].SetBool(true);
  bad["u32"].SetSigned(-1);
  bad["text"].SetString("never reached");
  Sample partial;
  EXPECT_EQ(Read(bad, partial), "Value -1 for 'u32' of type uint32 is out of range");
  EXPECT_TRUE(partial.flag);
  EXPECT_EQ(partial.text, "");

  Sample ignored;
  EXPECT_EQ(Read(Signed(1), ignored),
            "Couldn't assign value to 'f' of type Sample because the input not a structure.");
  EXPECT_EQ(Read(BindingProperty(), ignored), "A value for 'f' is required.");
}

TEST_F(ConversionTest, UnregisteredRecordIsRefusedBothWays) {
  struct Stray {
    int x = 0;
  } stray;
  BindingProperty in;
  in["x"].SetSigned(1);
  EXPECT_EQ(Read(in, stray),
            "Couldn't assign value to 'f' because the input is an unregistered structure or "
            "not a structure at all.");
  ConversionResult out = ToProperty(stray, registry_);
  EXPECT_EQ(out.error(), "Couldn't convert native value because it's an unregistered structure.");
}

TEST_F(ConversionTest, VectorAndMapElements) {
  BindingProperty in;
  in["list"][0]["number"].SetSigned(1);
  in["list"][2]["number"].SetSigned(3);  // element 1 stays empty
  in["counts"]["b"].SetString("2");
  in["counts"]["a"].SetSigned(1);
  in["counts"]["skipped"];
  Sample out;
  out.list.resize(5);
  out.counts["stale"] = 9;
  EXPECT_EQ(Read(in, out), "");
  ASSERT_EQ(out.list.size(), 3u);
  EXPECT_EQ(out.list[0].number, 1);
  EXPECT_EQ(out.list[1].number, 7);
  EXPECT_EQ(out.list[1].label, "default");
  EXPECT_EQ(out.list[2].number, 3);
  EXPECT_EQ(out.counts, (std::map<std::string, std::int32_t>{{"a", 1}, {"b", 2}}));

  std::vector<std::int32_t> numbers;
  EXPECT_EQ(Read(Str("x"), numbers),
            "Couldn't assign value to 'f' of type vector because the input not a collection.");
  std::map<std::string, std::int32_t> counts;
  EXPECT_EQ(Read(Collection(), counts),
            "Couldn't assign value to 'f' of type map because the input not a structure.");
  BindingProperty list;
  list[0].SetSigned(1);
  list[1].SetString("x");
  EXPECT_EQ(Read(list, numbers), "Value x for 'f' of type int32 is in an incorrect format");
}

TEST_F(ConversionTest, OptionalsEngageOnlyOnSuccess) {
  Sample out;
  BindingProperty in;
  in["maybeText"].SetString("here");
  in["maybeInner"]["label"].SetString("inside");
  EXPECT_EQ(Read(in, out), "");
  EXPECT_EQ(out.maybeText, "here");
  ASSERT_TRUE(out.maybeInner.has_value());
  EXPECT_EQ(out.maybeInner->label, "inside");
  EXPECT_EQ(out.maybeInner->number, 7);

  std::optional<std::int32_t> number = 5;
  EXPECT_EQ(Read(BindingProperty(), number), "");
  EXPECT_EQ(number, 5);
  EXPECT_EQ(Read(Str("x"), number), "Value x for 'f' of type int32 is in an incorrect format");
  EXPECT_EQ(number, 5);
}

TEST_F(ConversionTest, RoundTripOfARecord) {
  Sample in;
  in.flag = true;
  in.i32 = -5;
  in.u32 = 4000000000u;
  in.u64 = 1ULL << 60;
  in.real = 0.25;
  in.text = "t";
  in.rank = Rank::Second;
  in.list = {Inner{1, "a"}, Inner{2, "b"}};
  in.counts = {{"k", 3}};
  in.maybeInner = Inner{4, "m"};
  in.any["nested"][1].SetBool(true);

  ConversionResult tree = ToProperty(in, registry_);
  ASSERT_TRUE(tree.ok()) << tree.error();
  const BindingProperty& v = tree.value();
  EXPECT_EQ(v["u32"].kind(), BindingPropertyKind::Unsigned);
  EXPECT_EQ(v["i32"].GetSigned(), -5);
  EXPECT_EQ(v["rank"].GetEnum().value, 2);
  EXPECT_EQ(v["rank"].GetEnum().type, StaticTypeOf<Rank>());
  EXPECT_TRUE(v["maybeText"].IsEmpty());
  ASSERT_NE(v.Find("maybeText"), nullptr);  // present, holding nothing
  EXPECT_EQ(registry_.EnumValueName(v["rank"].GetEnum().type, 2), std::string("Alias"));

  Sample back;
  ConversionResult result;
  FromProperty(result, v, "<value>", back, registry_);
  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_EQ(back.u32, in.u32);
  EXPECT_EQ(back.u64, in.u64);
  EXPECT_EQ(back.rank, Rank::Second);
  EXPECT_EQ(back.list[1].label, "b");
  EXPECT_EQ(back.counts, in.counts);
  EXPECT_EQ(back.maybeInner->number, 4);
  EXPECT_FALSE(back.maybeText.has_value());
  EXPECT_EQ(back.any, in.any);
}

TEST_F(ConversionTest, FailedResultMakesEveryCallANoOp) {
  ConversionResult result;
  result.SetError("first");
  std::int32_t out = 3;
  FromProperty(result, Signed(9), "f", out, registry_);
  EXPECT_EQ(out, 3);
  EXPECT_EQ(result.error(), "first");
}

struct Omitting {
  std::int32_t zero = 0;
  std::string empty;
  std::int32_t kept = 1;
};

TEST_F(ConversionTest, OmitWhenEmptyLeavesFieldsOut) {
  TypeBuilder<Omitting>(registry_, "Omitting")
      .Field("zero", &Omitting::zero, {}, {}, kFieldOmitWhenEmpty)
      .Field("empty", &Omitting::empty, {}, {}, kFieldOmitWhenEmpty)
      .Field("kept", &Omitting::kept, {}, {}, kFieldOmitWhenEmpty | kFieldRequired);
  ConversionResult tree = ToProperty(Omitting{}, registry_);
  ASSERT_TRUE(tree.ok());
  EXPECT_EQ(tree.value().size(), 1u);
  EXPECT_EQ(tree.value()["kept"].GetSigned(), 1);

  Omitting out;
  BindingProperty in;
  in["zero"].SetSigned(1);
  EXPECT_EQ(Read(in, out),
            "Couldn't assign value to 'f' of type Omitting because the input structure doesn't "
            "have required field 'kept'.");
}

struct MaybeTexts {
  std::optional<std::string> absent;
  std::optional<std::string> blank = std::string();
  bool off = false;
};

TEST_F(ConversionTest, OmitWhenAbsentKeepsEmptyTextAndFalse) {
  TypeBuilder<MaybeTexts>(registry_, "MaybeTexts")
      .Field("absent", &MaybeTexts::absent, {}, {}, kFieldOmitWhenAbsent)
      .Field("blank", &MaybeTexts::blank, {}, {}, kFieldOmitWhenAbsent)
      .Field("off", &MaybeTexts::off, {}, {}, kFieldOmitWhenAbsent);
  ConversionResult tree = ToProperty(MaybeTexts{}, registry_);
  ASSERT_TRUE(tree.ok()) << tree.error();
  EXPECT_EQ(tree.value().Find("absent"), nullptr);
  ASSERT_NE(tree.value().Find("blank"), nullptr);
  EXPECT_EQ(tree.value()["blank"].kind(), BindingPropertyKind::String);
  ASSERT_NE(tree.value().Find("off"), nullptr);
  EXPECT_FALSE(tree.value()["off"].GetBool());
}

TEST(ToTextTest, RendersEachKind) {
  BindingProperty blob;
  const std::uint8_t bytes[] = {'f', 'o', 'o', 'b'};
  blob.SetBlob(bytes);
  BindingProperty e;
  e.SetEnum(-3, nullptr);
  const struct {
    BindingProperty value;
    const char* text;
  } rows[] = {
      {BindingProperty(), ""},  {Bool(false), "false"},
      {Signed(-12), "-12"},     {Unsigned(18446744073709551615ULL), "18446744073709551615"},
      {Float(1.5), "1.500000"}, {Str("s"), "s"},
      {blob, "Zm9vYg=="},       {e, "-3"},
      {Collection(), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(ToText(row.value), row.text);
  }
  const std::uint8_t two[] = {'f', 'o'};
  EXPECT_EQ(Base64Encode(two), "Zm8=");
  const std::uint8_t three[] = {0xFB, 0xFF, 0xBF};
  EXPECT_EQ(Base64Encode(three), "+/+/");
}

}  // namespace
}  // namespace Kelp
