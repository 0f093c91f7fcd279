#include "sdk/rest/outbound_request.h"

#include <algorithm>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/message_format.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp {
namespace {

constexpr std::string_view kNotSent =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
constexpr std::string_view kErrorResponse = "Error response for {method} {url}: {error}";
constexpr std::string_view kStreamFailed =
    "Error reading streamed response for {method} {url}: {error}";

// The expected size of a stream is the host's hint, not a promise: reserve
// no more than this up front and let the text grow past it if need be.
constexpr std::uint32_t kMaxStreamReservation = 1u << 20;

// A host stream that keeps announcing more data must still end: reads that
// deliver nothing in a row, and the whole text, are bounded.
constexpr int kMaxEmptyReads = 10000;
constexpr std::size_t kMaxStreamSize = std::size_t{256} << 20;

// A zeroed response record, released through its own function on every path.
struct ResponseRecord {
  InvokeResponse record{};
  ResponseRecord() = default;
  ResponseRecord(const ResponseRecord&) = delete;
  ResponseRecord& operator=(const ResponseRecord&) = delete;
  ~ResponseRecord() {
    if (record.release != nullptr) record.release(&record);
  }
};

struct ArgumentValue {
  BindingValue value{};
  ArgumentValue() = default;
  ArgumentValue(const ArgumentValue&) = delete;
  ArgumentValue& operator=(const ArgumentValue&) = delete;
  ~ArgumentValue() { Destroy(value); }
};

// Reads the whole stream into `text`; false with `error` set on a failed
// read. Closes the stream in every case.
bool ReadStream(PluginBase& plugin, const InvokeResponse& record, std::string& text,
                std::string& error) {
  struct Closer {
    const InvokeResponse& record;
    ~Closer() {
      if (record.streamClose != nullptr) record.streamClose(record.streamContext);
    }
  } closer{record};
  const std::uint32_t expected = record.streamExpectedSize;  // packed: copy before use
  text.reserve(std::min(expected, kMaxStreamReservation));
  std::uint8_t buffer[kStreamReadSize];
  int emptyReads = 0;
  for (;;) {
    std::uint32_t count = kStreamReadSize;
    std::uint8_t more = 0;
    if (record.streamRead(record.streamContext, buffer, &count, &more) == 0) {
      error = "Stream read error";
      return false;
    }
    // A count past the buffer is the host's mistake; never read beyond it.
    count = std::min<std::uint32_t>(count, kStreamReadSize);
    if (count > kMaxStreamSize - text.size()) {
      error = FormatMessage("Stream is longer than %1 bytes", {kMaxStreamSize});
      return false;
    }
    text.append(reinterpret_cast<const char*>(buffer), count);
    if (more == 0) return true;
    emptyReads = count == 0 ? emptyReads + 1 : 0;
    if (emptyReads == kMaxEmptyReads) {
      error = FormatMessage("Stream delivered nothing in %1 reads", {kMaxEmptyReads});
      return false;
    }
    if (count < kStreamReadSize) plugin.Wait();
  }
}

}  // namespace

std::string FormatRequestMessage(std::string_view pattern, std::string_view method,
                                 std::string_view url, std::string_view error) {
  const struct {
    std::string_view name;
    std::string_view value;
  } kNames[] = {{"{method}", method}, {"{url}", url}, {"{error}", error}};
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    bool replaced = false;
    for (const auto& name : kNames) {
      if (pattern.substr(i, name.name.size()) == name.name) {
        out += name.value;
        i += name.name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += pattern[i++];
  }
  return out;
}

ConversionResult TextMapToProperty(const TextMap& map) {
  ConversionResult result;
  result.value().MakeStructure();
  for (const auto& [key, text] : map) result.value()[key].SetString(text);
  return result;
}

RemotingResult SendConvertedRequest(PluginBase& plugin, HttpMethod method, std::string_view url,
                                    const ConversionResult* parameters, const EnumNamer* namer,
                                    BindingProperty* response) {
  RemotingResult result;
  const std::string_view methodText = HttpMethodText(method);
  auto fail = [&](std::uint32_t status, std::string_view pattern, std::string_view error) {
    result.SetFailure(status, FormatRequestMessage(pattern, methodText, url, error));
    return std::move(result);
  };
  if (parameters != nullptr && !parameters->ok()) return fail(400, kNotSent, parameters->error());
  ArgumentValue argumentValue;
  if (parameters != nullptr && !ToBindingValue(parameters->value(), namer, argumentValue.value)) {
    return fail(400, kNotSent, "Out of memory");
  }

  const std::string urlText(url);
  InvokeArgument argument{nullptr, argumentValue.value};
  InvokeRequest request{};
  request.method = static_cast<std::uint32_t>(method);
  request.path = urlText.c_str();
  if (parameters != nullptr) {
    request.arguments = &argument;
    request.argumentCount = 1;
  }
  request.senderHandle = plugin.hostHandle();

  ResponseRecord answer;
  InvokeResponse& record = answer.record;
  plugin.HostSendRequest(&record, &request);

  if (record.result.error != nullptr || record.result.failed != 0) {
    // A stream that came with the error is not read, but still ended.
    if (record.streamRead != nullptr && record.streamClose != nullptr) {
      record.streamClose(record.streamContext);
    }
    const char* text = record.result.error != nullptr ? record.result.error : "";
    return fail(record.status, kErrorResponse, text);
  }
  if (record.streamRead != nullptr) {
    std::string text;
    std::string error;
    if (!ReadStream(plugin, record, text, error)) return fail(0, kStreamFailed, error);
    ConversionResult decoded = ReadJson(text);
    if (!decoded.ok()) return fail(0, kStreamFailed, decoded.error());
    if (response != nullptr) *response = std::move(decoded.value());
    return result;
  }
  if (response != nullptr) {
    BindingResult failure{};
    if (!ToBindingProperty(record.result.value, "<result>", *response, failure)) {
      const std::string error = failure.error != nullptr ? failure.error : "";
      DestroyResult(failure);
      response->Reset();
      return fail(0, kResponseConversionFailed, error);
    }
  }
  return result;
}

RemotingResult SendRequest(PluginBase& plugin, HttpMethod method, std::string_view url) {
  return SendConvertedRequest(plugin, method, url, nullptr, nullptr, nullptr);
}

RemotingResult SendRequest(PluginBase& plugin, HttpMethod method, std::string_view url,
                           const TextMap& parameters) {
  const ConversionResult converted = TextMapToProperty(parameters);
  return SendConvertedRequest(plugin, method, url, &converted, nullptr, nullptr);
}

}  // namespace Kelp
