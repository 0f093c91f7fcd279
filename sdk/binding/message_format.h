// The message formatter behind every SDK message.
//
// A template holds literal text, "%%" for one "%", and placeholders: "%N"
// prints argument N (from 1) in its default form; "%N$" followed by a
// printf-style specification (flags "-+ #0", width, "." precision, a length
// modifier and one conversion letter) prints it with that specification.
// Each argument's type fixes the letters it accepts; any other letter is
// replaced by the type's default:
//   32-bit integer  "dciouxX"   default d
//   signed 64-bit   "dciouxX"   default d
//   unsigned 64-bit "ucdioxX"   default u
//   double          "gaefGAEF"  default g
//   text            printed as a string; of the flags only "-" applies
// A specification longer than 60 characters ends formatting there. Output is
// at most 4095 bytes (4096 with the terminating NUL); longer output is cut.
// Widths and precisions above 4096 count as 4096 (the output could not hold
// more). A "%" not followed by a number reads a printf specification that
// takes the next argument in order; a number past the last argument prints
// nothing. Templates are always ours: text from outside travels only as an
// argument, never as a template.
#ifndef KELP_SDK_BINDING_MESSAGE_FORMAT_H_
#define KELP_SDK_BINDING_MESSAGE_FORMAT_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace Kelp {

class MessageArg {
 public:
  enum class Type { Int32, Int64, UInt64, Double, Text };

  MessageArg(int v) : type_(Type::Int32) { value_.i64 = v; }
  MessageArg(long v) : type_(Type::Int64) { value_.i64 = v; }
  MessageArg(long long v) : type_(Type::Int64) { value_.i64 = v; }
  MessageArg(unsigned v) : type_(Type::UInt64) { value_.u64 = v; }
  MessageArg(unsigned long v) : type_(Type::UInt64) { value_.u64 = v; }
  MessageArg(unsigned long long v) : type_(Type::UInt64) { value_.u64 = v; }
  MessageArg(double v) : type_(Type::Double) { value_.f64 = v; }
  MessageArg(std::string_view v) : type_(Type::Text), text_(v) {}
  MessageArg(const char* v) : type_(Type::Text), text_(v != nullptr ? v : "") {}
  MessageArg(const std::string& v) : type_(Type::Text), text_(v) {}

  Type type() const { return type_; }
  std::int64_t i64() const { return value_.i64; }
  std::uint64_t u64() const { return value_.u64; }
  double f64() const { return value_.f64; }
  std::string_view text() const { return text_; }

 private:
  Type type_;
  union {
    std::int64_t i64;
    std::uint64_t u64;
    double f64;
  } value_{};
  std::string_view text_;
};

inline constexpr std::size_t kMaxMessageSize = 4096;

std::string FormatMessage(std::string_view format, std::initializer_list<MessageArg> args);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_MESSAGE_FORMAT_H_
