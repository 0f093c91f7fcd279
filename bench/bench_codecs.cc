// The codecs against their baselines, measured in the same run: the JSON
// reader against a RapidJSON DOM parse, the JSON writer against RapidJSON's
// Writer over a Document, the MessagePack reader against msgpack-c's
// unpack, and the YAML reader against a bare libyaml event loop. After the
// runs, each pair's throughput ratio (ours / baseline) is printed.
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <msgpack.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "bench/ratio_reporter.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/codecs/msgpack_reader.h"
#include "sdk/codecs/yaml_library.h"
#include "sdk/codecs/yaml_reader.h"

namespace {

using Kelp::BindingProperty;
using Kelp::BindingPropertyKind;

// A voice-chat sessions event: one session with `participants` people.
std::string SessionsEvent(int seed, int participants) {
  char line[512];
  std::string json = "{\"eventType\":\"Update\",\"uri\":\"/voice-chat/v2/sessions\",\"data\":[{";
  std::snprintf(line, sizeof line,
                "\"id\":\"session-%08d\",\"name\":\"party-%d\",\"status\":\"connected\","
                "\"isMuted\":false,\"isTransmitEnabled\":true,\"participants\":[",
                seed, seed);
  json += line;
  for (int p = 0; p < participants; ++p) {
    std::snprintf(line, sizeof line,
                  "%s{\"puuid\":\"%08x-1f2e-4d3c-9b8a-%012d\",\"name\":\"Player%d#%04d\","
                  "\"volume\":%d,\"energy\":%.3f,\"isMuted\":%s,\"isSpeaking\":%s,"
                  "\"shouldShowMuteButton\":true,\"position\":[%d,%d]}",
                  p ? "," : "", seed * 31 + p, seed * 7 + p, p, seed % 10000, 40 + p * 10,
                  0.125 * p, p % 2 ? "true" : "false", p % 3 ? "false" : "true", p, -p);
    json += line;
  }
  json += "]}]}";
  return json;
}

const std::string& EventJson() {
  static const std::string kEvent = SessionsEvent(7, 5);
  return kEvent;
}

// About 1 MiB: an array of sessions events.
const std::string& DocumentJson() {
  static const std::string kDocument = [] {
    std::string json = "[";
    for (int i = 0; json.size() < (1u << 20); ++i) {
      if (i) json += ',';
      json += SessionsEvent(i, 1 + i % 6);
    }
    return json + "]";
  }();
  return kDocument;
}

const BindingProperty& DocumentTree() {
  static const Kelp::ConversionResult* const kTree =
      new Kelp::ConversionResult(Kelp::ReadJson(DocumentJson()));
  return kTree->value();
}

void PackInto(const BindingProperty& value, msgpack::packer<msgpack::sbuffer>& packer) {
  switch (value.kind()) {
    case BindingPropertyKind::Bool:
      value.GetBool() ? packer.pack_true() : packer.pack_false();
      return;
    case BindingPropertyKind::Signed:
      packer.pack_int64(value.GetSigned());
      return;
    case BindingPropertyKind::Unsigned:
      packer.pack_uint64(value.GetUnsigned());
      return;
    case BindingPropertyKind::Float:
      packer.pack_double(value.GetFloat());
      return;
    case BindingPropertyKind::String: {
      const auto text = value.GetString();
      packer.pack_str(static_cast<std::uint32_t>(text.size()));
      packer.pack_str_body(text.data(), static_cast<std::uint32_t>(text.size()));
      return;
    }
    case BindingPropertyKind::Collection:
      packer.pack_array(static_cast<std::uint32_t>(value.size()));
      for (const BindingProperty& element : value.Elements()) PackInto(element, packer);
      return;
    case BindingPropertyKind::Structure:
      packer.pack_map(static_cast<std::uint32_t>(value.size()));
      for (const auto& [name, field] : value.Fields()) {
        packer.pack_str(static_cast<std::uint32_t>(name.size()));
        packer.pack_str_body(name.data(), static_cast<std::uint32_t>(name.size()));
        PackInto(field, packer);
      }
      return;
    default:
      packer.pack_nil();
      return;
  }
}

const msgpack::sbuffer& DocumentPack() {
  static const msgpack::sbuffer* const kPack = [] {
    auto* buffer = new msgpack::sbuffer();
    msgpack::packer<msgpack::sbuffer> packer(*buffer);
    PackInto(DocumentTree(), packer);
    return buffer;
  }();
  return *kPack;
}

// Block-style YAML: nested mappings and sequences by indentation.
void YamlInto(const BindingProperty& value, int indent, std::string& out) {
  const std::string pad(indent, ' ');
  switch (value.kind()) {
    case BindingPropertyKind::Collection:
      for (const BindingProperty& element : value.Elements()) {
        out += pad + "-";
        if (element.kind() == BindingPropertyKind::Collection ||
            element.kind() == BindingPropertyKind::Structure) {
          out += "\n";
          YamlInto(element, indent + 2, out);
        } else {
          out += " ";
          YamlInto(element, 0, out);
        }
      }
      return;
    case BindingPropertyKind::Structure:
      for (const auto& [name, field] : value.Fields()) {
        out += pad + std::string(name) + ":";
        if (field.kind() == BindingPropertyKind::Collection ||
            field.kind() == BindingPropertyKind::Structure) {
          out += "\n";
          YamlInto(field, indent + 2, out);
        } else {
          out += " ";
          YamlInto(field, 0, out);
        }
      }
      return;
    default: {
      std::string scalar = Kelp::WriteJson(value);
      out += scalar + "\n";
      return;
    }
  }
}

const std::string& DocumentYaml() {
  static const std::string kYaml = [] {
    std::string yaml;
    YamlInto(DocumentTree(), 0, yaml);
    return yaml;
  }();
  return kYaml;
}

void JsonRead(benchmark::State& state, const std::string& json) {
  for (auto _ : state) {
    Kelp::ConversionResult result = Kelp::ReadJson(json);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * json.size());
}

void RapidJsonDom(benchmark::State& state, const std::string& json) {
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(json.c_str());
    benchmark::DoNotOptimize(document);
  }
  state.SetBytesProcessed(state.iterations() * json.size());
}

void JsonRead_Event_Ours(benchmark::State& state) { JsonRead(state, EventJson()); }
void JsonRead_Event_Baseline(benchmark::State& state) { RapidJsonDom(state, EventJson()); }
void JsonRead_Document_Ours(benchmark::State& state) { JsonRead(state, DocumentJson()); }
void JsonRead_Document_Baseline(benchmark::State& state) { RapidJsonDom(state, DocumentJson()); }

void JsonWrite_Document_Ours(benchmark::State& state) {
  const BindingProperty& tree = DocumentTree();
  for (auto _ : state) {
    std::string text = Kelp::WriteJson(tree);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * DocumentJson().size());
}

void JsonWrite_Document_Baseline(benchmark::State& state) {
  // The same content: the text our writer produces, as a Document.
  rapidjson::Document document;
  document.Parse(Kelp::WriteJson(DocumentTree()).c_str());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    std::string text(buffer.GetString(), buffer.GetSize());
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(state.iterations() * DocumentJson().size());
}

void MessagePackRead_Document_Ours(benchmark::State& state) {
  const msgpack::sbuffer& pack = DocumentPack();
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(pack.data()), pack.size());
  for (auto _ : state) {
    Kelp::MessagePackReadResult read = Kelp::ReadMessagePack(bytes);
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(state.iterations() * pack.size());
}

void MessagePackRead_Document_Baseline(benchmark::State& state) {
  const msgpack::sbuffer& pack = DocumentPack();
  for (auto _ : state) {
    msgpack::object_handle handle = msgpack::unpack(pack.data(), pack.size());
    benchmark::DoNotOptimize(handle);
  }
  state.SetBytesProcessed(state.iterations() * pack.size());
}

void YamlRead_Document_Ours(benchmark::State& state) {
  const std::string& yaml = DocumentYaml();
  for (auto _ : state) {
    Kelp::ConversionResult result = Kelp::ReadYaml(yaml);
    if (!result.ok()) state.SkipWithError("YAML read failed");
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * yaml.size());
}

void YamlRead_Document_Baseline(benchmark::State& state) {
  const std::string& yaml = DocumentYaml();
  const Kelp::detail::YamlLibrary* yamlLibrary = Kelp::detail::SharedYamlLibrary();
  if (yamlLibrary == nullptr) {
    state.SkipWithError("libyaml is unavailable");
    return;
  }
  for (auto _ : state) {
    yaml_parser_t parser;
    yamlLibrary->parserInitialize(&parser);
    yamlLibrary->parserSetEncoding(&parser, YAML_UTF8_ENCODING);
    yamlLibrary->parserSetInputString(
        &parser, reinterpret_cast<const unsigned char*>(yaml.data()), yaml.size());
    yaml_event_t event;
    bool more = true;
    while (more && yamlLibrary->parserParse(&parser, &event)) {
      more = event.type != YAML_STREAM_END_EVENT;
      yamlLibrary->eventDelete(&event);
    }
    yamlLibrary->parserDelete(&parser);
  }
  state.SetBytesProcessed(state.iterations() * yaml.size());
}

BENCHMARK(JsonRead_Event_Ours);
BENCHMARK(JsonRead_Event_Baseline);
BENCHMARK(JsonRead_Document_Ours);
BENCHMARK(JsonRead_Document_Baseline);
BENCHMARK(JsonWrite_Document_Ours);
BENCHMARK(JsonWrite_Document_Baseline);
BENCHMARK(MessagePackRead_Document_Ours);
BENCHMARK(MessagePackRead_Document_Baseline);
BENCHMARK(YamlRead_Document_Ours);
BENCHMARK(YamlRead_Document_Baseline);

}  // namespace

int main(int argc, char** argv) {
  Kelp::Bench::RepeatUnlessAsked(argc, argv);
  Kelp::Bench::HoldFreedMemory();
  benchmark::Initialize(&argc, argv);
  std::printf("event %zu bytes, document %zu bytes JSON, %zu bytes MessagePack, %zu bytes YAML\n",
              EventJson().size(), DocumentJson().size(), DocumentPack().size(),
              DocumentYaml().size());
  Kelp::Bench::RatioReporter reporter(Kelp::Bench::Ratio::Throughput);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
