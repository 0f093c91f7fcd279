#include "sdk/codecs/yaml_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "sdk/binding/conversion.h"
#include "sdk/binding/message_format.h"
#include "sdk/codecs/tree_builder.h"
#include "sdk/codecs/yaml_library.h"

namespace Kelp {
namespace {

constexpr std::string_view kStrTag = "tag:yaml.org,2002:str";
constexpr std::string_view kIntTag = "tag:yaml.org,2002:int";
constexpr std::string_view kFloatTag = "tag:yaml.org,2002:float";
constexpr std::string_view kBoolTag = "tag:yaml.org,2002:bool";

constexpr std::string_view kNullWords[] = {"", "~", "null", "Null", "NULL"};
constexpr std::string_view kTrueWords[] = {"true", "True", "TRUE", "y",  "Y", "yes",
                                           "Yes",  "YES",  "on",   "On", "ON"};
constexpr std::string_view kFalseWords[] = {"false", "False", "FALSE", "n",   "N",  "no",
                                            "No",    "NO",    "off",   "Off", "OFF"};

template <std::size_t N>
bool OneOf(std::string_view text, const std::string_view (&words)[N]) {
  for (std::string_view word : words) {
    if (text == word) return true;
  }
  return false;
}

// A bool word into `target`; false when `text` is none.
bool ResolveBool(std::string_view text, BindingProperty& target) {
  if (OneOf(text, kTrueWords)) {
    target.SetBool(true);
  } else if (OneOf(text, kFalseWords)) {
    target.SetBool(false);
  } else {
    return false;
  }
  return true;
}

// A decimal integer read exactly (a double would round beyond 2^53).
bool ResolveExactInteger(const char* text, std::size_t length, BindingProperty& target) {
  char* end = nullptr;
  errno = 0;
  if (text[0] == '-') {
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end != text + length) return false;
    if (value < 0) {
      target.SetSigned(value);
    } else {
      target.SetUnsigned(0);
    }
    return true;
  }
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end != text + length) return false;
  target.SetUnsigned(value);
  return true;
}

// A number when strtod reads all of `text` (which is NUL-terminated) and
// the result is not +infinity.
bool ResolveNumber(const char* text, std::size_t length, BindingProperty& target) {
  if (length == 0) return false;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end != text + length) return false;
  if (std::isinf(value) && value > 0) return false;
  double whole = 0;
  if (std::isnan(value) || std::isinf(value) || std::modf(value, &whole) != 0.0) {
    target.SetFloat(value);
    return true;
  }
  if (ResolveExactInteger(text, length, target)) return true;
  // Integral spellings that are not decimal integers: 1e3, 0x1A, 2.0.
  if (value < 0 && value >= -9223372036854775808.0) {
    target.SetSigned(static_cast<std::int64_t>(value));
  } else if (value >= 0 && value < 18446744073709551616.0) {
    target.SetUnsigned(static_cast<std::uint64_t>(value));
  } else {
    target.SetFloat(value);  // beyond the 64-bit integers
  }
  return true;
}

std::string IncorrectFormat(std::string_view text, const char* typeName) {
  return FormatMessage("Value %1 for '%2' of type %3 is in an incorrect format",
                       {text, "yaml", typeName});
}

// Tagged numbers go through the conversion rules, with their messages. Each
// returns the message of a failure, or the empty text.
std::string ConvertInt(std::string_view text, BindingProperty& target) {
  BindingProperty input;
  input.SetString(text);
  ConversionResult result;
  const std::size_t first = text.find_first_not_of(" \t");
  if (first != std::string_view::npos && text[first] == '-') {
    std::int64_t value = 0;
    const detail::SignedBounds bounds{std::numeric_limits<std::int64_t>::min(),
                                      std::numeric_limits<std::int64_t>::max(),
                                      9223372036854775808.0, "int64_t"};
    if (detail::ReadSigned(result, input, "yaml", bounds, value)) target.SetSigned(value);
  } else {
    std::uint64_t value = 0;
    const detail::UnsignedBounds bounds{std::numeric_limits<std::uint64_t>::max(),
                                        18446744073709551616.0, "uint64_t"};
    if (detail::ReadUnsigned(result, input, "yaml", bounds, value)) target.SetUnsigned(value);
  }
  return std::string(result.error());
}

std::string ConvertFloat(std::string_view text, BindingProperty& target) {
  BindingProperty input;
  input.SetString(text);
  ConversionResult result;
  double value = 0;
  const double max = std::numeric_limits<double>::max();
  if (detail::ReadFloat(result, input, "yaml", {-max, max, "double"}, value)) {
    target.SetFloat(value);
  }
  return std::string(result.error());
}

class EventReader {
 public:
  explicit EventReader(ConversionResult& result) : result_(result), builder_(result.value()) {}

  // Applies one event; false once the result has failed.
  bool Handle(const yaml_event_t& event);

  // Replaces the result with the error `message`; returns false.
  bool Fail(std::string_view message) {
    builder_.Abandon();
    result_.SetError(message);
    return false;
  }

 private:
  // Where a node sits: the path node of its container and its index or key
  // there; `parent` -1 stands for the root value itself.
  struct Step {
    std::uint32_t index = 0;
    bool isKey = false;
    std::string key;
  };
  struct Location {
    std::int32_t parent = -1;
    Step step;
  };
  struct Anchor {
    Location location;
    bool open = false;  // the anchored container is still being read
  };
  struct OpenNode {
    std::int32_t pathNode;
    Anchor* anchor;
  };
  struct FnvHash {
    std::size_t operator()(const std::string& s) const { return Fnv1a(s); }
  };

  bool FailAt(const char* format, const yaml_mark_t& mark) {
    return Fail(FormatMessage(format, {mark.line + 1, mark.column + 1}));
  }
  bool FailAt(const char* format, std::string_view name, const yaml_mark_t& mark) {
    return Fail(FormatMessage(format, {name, mark.line + 1, mark.column + 1}));
  }
  bool FailAt(const char* format, std::size_t limit, const yaml_mark_t& mark) {
    return Fail(FormatMessage(format, {limit, mark.line + 1, mark.column + 1}));
  }
  bool FailTooDeep(const yaml_mark_t& mark) {
    return FailAt("The document is nested deeper than %1 levels. At line: %2 col: %3",
                  static_cast<std::size_t>(kMaxNestingDepth), mark);
  }
  bool keyExpected() const { return builder_.inStructure() && !builder_.keyPending(); }
  Location TargetLocation() const;
  // Enters an anchor for the node at `location`; null with the result failed
  // when the anchor exists already.
  Anchor* AddAnchor(const yaml_char_t* name, Location location, const yaml_mark_t& mark);
  const BindingProperty& Follow(const Location& location) const;

  bool Scalar(const yaml_event_t& event);
  bool StartContainer(const yaml_event_t& event, bool isMapping);
  bool EndContainer();
  bool Alias(const yaml_event_t& event);
  bool ResolveScalar(const yaml_event_t& event, BindingProperty& target);

  ConversionResult& result_;
  detail::TreeBuilder builder_;
  std::vector<Location> pathNodes_;
  std::vector<OpenNode> open_;
  std::unordered_map<std::string, Anchor, FnvHash> anchors_;
  std::size_t aliasValues_ = 0;
};

bool EventReader::Handle(const yaml_event_t& event) {
  switch (event.type) {
    case YAML_DOCUMENT_START_EVENT:
      if (!result_.value().IsEmpty()) return Fail("Multi-document YAML is not supported.");
      return true;
    case YAML_SCALAR_EVENT:
      return Scalar(event);
    case YAML_SEQUENCE_START_EVENT:
      return StartContainer(event, false);
    case YAML_MAPPING_START_EVENT:
      return StartContainer(event, true);
    case YAML_SEQUENCE_END_EVENT:
    case YAML_MAPPING_END_EVENT:
      return EndContainer();
    case YAML_ALIAS_EVENT:
      return Alias(event);
    default:
      return true;  // stream start and end, document end
  }
}

EventReader::Location EventReader::TargetLocation() const {
  Location location;
  if (open_.empty()) return location;
  location.parent = open_.back().pathNode;
  if (builder_.inCollection()) {
    location.step.index = static_cast<std::uint32_t>(builder_.nextIndex());
  } else {
    location.step.isKey = true;
    location.step.key = builder_.key();
  }
  return location;
}

EventReader::Anchor* EventReader::AddAnchor(const yaml_char_t* name, Location location,
                                            const yaml_mark_t& mark) {
  const char* text = reinterpret_cast<const char*>(name);
  auto [it, added] = anchors_.try_emplace(text, Anchor{std::move(location), false});
  if (!added) {
    FailAt("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", text, mark);
    return nullptr;
  }
  return &it->second;
}

const BindingProperty& EventReader::Follow(const Location& location) const {
  std::vector<const Step*> steps;
  for (const Location* at = &location; at->parent != -1; at = &pathNodes_[at->parent]) {
    steps.push_back(&at->step);
  }
  const BindingProperty* node = &result_.value();
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const Step& step = **it;
    if (step.isKey) {
      node = builder_.FindField(*node, static_cast<std::size_t>(it - steps.rbegin()), step.key);
      if (node == nullptr) return BindingProperty::EmptyValue();
    } else {
      node = &(*node)[step.index];
    }
  }
  return *node;
}

bool EventReader::Scalar(const yaml_event_t& event) {
  const auto& scalar = event.data.scalar;
  if (keyExpected()) {
    if (scalar.tag != nullptr && reinterpret_cast<const char*>(scalar.tag) != kStrTag) {
      return FailAt("Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
                    event.start_mark);
    }
    builder_.SetKey({reinterpret_cast<const char*>(scalar.value), scalar.length});
    return true;
  }
  Location location;
  if (scalar.anchor != nullptr) location = TargetLocation();
  if (!ResolveScalar(event, builder_.NextTarget())) return false;
  return scalar.anchor == nullptr ||
         AddAnchor(scalar.anchor, std::move(location), event.start_mark) != nullptr;
}

bool EventReader::ResolveScalar(const yaml_event_t& event, BindingProperty& target) {
  const auto& scalar = event.data.scalar;
  const char* text = reinterpret_cast<const char*>(scalar.value);
  const std::string_view view(text, scalar.length);
  if (scalar.tag == nullptr) {
    const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                        scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
    if (!quoted) {
      if (OneOf(view, kNullWords)) {
        target.Reset();
        return true;
      }
      if (ResolveNumber(text, scalar.length, target) || ResolveBool(view, target)) return true;
    }
    target.SetDecodedString(view);
    return true;
  }
  const std::string_view tag(reinterpret_cast<const char*>(scalar.tag));
  std::string failure;
  if (tag == kStrTag) {
    target.SetDecodedString(view);
  } else if (tag == kIntTag) {
    failure = ConvertInt(view, target);
  } else if (tag == kFloatTag) {
    failure = ConvertFloat(view, target);
  } else if (tag == kBoolTag) {
    // A bool tag on text that is no bool word is refused rather than
    // silently read as empty.
    if (!ResolveBool(view, target)) failure = IncorrectFormat(view, "bool");
  } else {
    failure = FormatMessage("Unsupported YAML tag '%1'.", {tag});
  }
  return failure.empty() || Fail(failure);
}

bool EventReader::StartContainer(const yaml_event_t& event, bool isMapping) {
  if (keyExpected()) {
    return FailAt(isMapping ? "Unexpected start of mapping. At line: %1 col: %2"
                            : "Unexpected start of sequence. At line: %1 col: %2",
                  event.start_mark);
  }
  Location location = TargetLocation();
  BindingProperty& target = builder_.NextTarget();
  const bool opened =
      isMapping ? builder_.OpenStructure(target)
                : builder_.OpenCollection(target, detail::TreeBuilder::Elements::Append);
  if (!opened) return FailTooDeep(event.start_mark);
  const yaml_char_t* anchorName =
      isMapping ? event.data.mapping_start.anchor : event.data.sequence_start.anchor;
  const auto pathNode = static_cast<std::int32_t>(pathNodes_.size());
  Anchor* anchor = nullptr;
  if (anchorName != nullptr) {
    anchor = AddAnchor(anchorName, location, event.start_mark);
    if (anchor == nullptr) return false;
    anchor->open = true;
  }
  pathNodes_.push_back(std::move(location));
  open_.push_back({pathNode, anchor});
  return true;
}

bool EventReader::EndContainer() {
  builder_.Close();
  if (open_.back().anchor != nullptr) open_.back().anchor->open = false;
  open_.pop_back();
  return true;
}

// How many values a node holds and how many containers deep it goes,
// counting no further than `limit` values.
struct Extent {
  std::size_t values = 0;
  int depth = 0;
};

Extent Measure(const BindingProperty& root, std::size_t limit) {
  Extent extent;
  std::vector<std::pair<const BindingProperty*, int>> stack{{&root, 0}};
  while (!stack.empty() && extent.values <= limit) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    ++extent.values;
    if (node->kind() == BindingPropertyKind::Collection) {
      extent.depth = std::max(extent.depth, depth + 1);
      for (const BindingProperty& element : node->Elements()) stack.push_back({&element, depth + 1});
    } else if (node->kind() == BindingPropertyKind::Structure) {
      extent.depth = std::max(extent.depth, depth + 1);
      for (const auto& field : node->Fields()) stack.push_back({&field.second, depth + 1});
    }
  }
  return extent;
}

bool EventReader::Alias(const yaml_event_t& event) {
  const char* name = reinterpret_cast<const char*>(event.data.alias.anchor);
  if (keyExpected()) {
    return FailAt("Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2",
                  event.start_mark);
  }
  const auto it = anchors_.find(name);
  if (it != anchors_.end() && it->second.open) {
    return FailAt("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3", name,
                  event.start_mark);
  }
  if (it == anchors_.end()) {
    return FailAt("Undefined alias encountered: \"%1\". At line: %2 col: %3", name,
                  event.start_mark);
  }
  // The target first: adding it may move the nodes that the source path
  // passes through.
  BindingProperty& target = builder_.NextTarget();
  const BindingProperty& source = Follow(it->second.location);
  // Copies multiply: a few lines of anchors and aliases can describe more
  // values than memory holds, or nest deeper than the limit.
  const std::size_t budget = kMaxYamlAliasValues - aliasValues_;
  const Extent extent = Measure(source, budget);
  if (extent.values > budget) {
    return FailAt("Aliases expand to more than %1 values. At line: %2 col: %3",
                  kMaxYamlAliasValues, event.start_mark);
  }
  if (builder_.depth() + extent.depth > kMaxNestingDepth) return FailTooDeep(event.start_mark);
  aliasValues_ += extent.values;
  target = source;
  return true;
}

// Releases the parser and the current event on every path.
class Parser {
 public:
  explicit Parser(const detail::YamlLibrary& library) : library_(library) {
    initialized_ = library_.parserInitialize(&parser_) != 0;
  }
  ~Parser() {
    if (haveEvent_) library_.eventDelete(&event_);
    if (initialized_) library_.parserDelete(&parser_);
  }
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  bool initialized() const { return initialized_; }
  const yaml_parser_t& state() const { return parser_; }

  void SetInput(std::string_view text) {
    library_.parserSetEncoding(&parser_, YAML_UTF8_ENCODING);
    const char* data = text.data() != nullptr ? text.data() : "";
    library_.parserSetInputString(&parser_, reinterpret_cast<const unsigned char*>(data),
                                  text.size());
  }
  // The next event; null when the parser failed.
  const yaml_event_t* Next() {
    if (haveEvent_) library_.eventDelete(&event_);
    haveEvent_ = library_.parserParse(&parser_, &event_) != 0;
    return haveEvent_ ? &event_ : nullptr;
  }

 private:
  const detail::YamlLibrary& library_;
  yaml_parser_t parser_{};
  yaml_event_t event_{};
  bool initialized_ = false;
  bool haveEvent_ = false;
};

}  // namespace

ConversionResult ReadYamlWith(const detail::YamlLibrary* library, std::string_view text) {
  ConversionResult result;
  if (library == nullptr) {
    result.SetError(FormatMessage("YAML support is unavailable: %1 could not be loaded.",
                                  {detail::kYamlLibraryName}));
    return result;
  }
  Parser parser(*library);
  if (!parser.initialized()) {
    result.SetError("YAML parser error: the parser could not be initialised.");
    return result;
  }
  parser.SetInput(text);
  EventReader reader(result);
  while (result.ok()) {
    const yaml_event_t* event = parser.Next();
    if (event == nullptr) {
      const yaml_parser_t& state = parser.state();
      reader.Fail(FormatMessage("YAML parser error: %1. At line: %2 col: %3",
                                {state.problem != nullptr ? state.problem : "unknown error",
                                 state.problem_mark.line, state.problem_mark.column}));
      break;
    }
    if (!reader.Handle(*event) || event->type == YAML_STREAM_END_EVENT) break;
  }
  return result;
}

ConversionResult ReadYaml(std::string_view text) {
  return ReadYamlWith(detail::SharedYamlLibrary(), text);
}

}  // namespace Kelp
