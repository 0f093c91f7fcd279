// The voice service in the loaded plugin: a sessions event of five
// participants from the event record through the participant refresh to
// both publications, against the raw conversion of the same payload;
// GET participants through the invoke entry, against the raw conversion of
// the same answer; a mic-level PUT through the invoke entry to the PATCH of
// the local settings category, against the conversion of its body and of
// the record it writes; and an audio-properties event during a mic test to
// its publication, against the raw conversion of the same payload. A minimal host answers the plugin's calls without
// keeping a journal, so that only the plugin's work is measured.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include "host/host_binding.h"
#include "host/host_response.h"
#include "host/host_value.h"
#include "host/inbound_invoke.h"
#include "host/plugin_library.h"
#include "premade_voice/voice_records.h"
#include "sdk/binding/binding_value.h"
#include "sdk/binding/conversion.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp {
namespace {

using Host::HostArray;
using Host::HostValue;
using Host::MakeObject;

constexpr int kMembers = 5;

std::string Puuid(int i) { return "6f1c9e2a-0b4d-4c1e-9a77-3e5b2d8f4a1" + std::to_string(i); }

// The host side: subscriptions kept by channel, publications counted,
// requests answered with success (the channel token for its path).
struct BenchHost {
  HostFunctionTable table{};
  HostContext context{&table, 1};
  std::map<std::string, std::pair<EventCallback, void*>> subscriptions;
  std::size_t published = 0;
  std::size_t localPatches = 0;
};
BenchHost* g_host = nullptr;

void KELP_CDECL SendRequest(const HostFunctionTable*, InvokeResponse* response,
                            const InvokeRequest* request) {
  const bool token = std::string(request->path) == "/tav-lobby/v2/comms/token";
  if (request->method == HTTP_METHOD_PATCH &&
      std::string(request->path) == "/tav-settings/v2/local/tav-premade-voice") {
    ++g_host->localPatches;
  }
  Host::FillHostResponse(*response, Host::HostAnswer::Success(token ? "token" : HostValue()),
                         nullptr);
}
void KELP_CDECL Publish(const HostFunctionTable*, const EventRecord*) { ++g_host->published; }
void KELP_CDECL Subscribe(const HostFunctionTable*, const char* name, std::uint32_t,
                          EventCallback callback, void* context, std::uint32_t) {
  g_host->subscriptions[name] = {callback, context};
}
void KELP_CDECL Unsubscribe(const HostFunctionTable*, const char* name, std::uint32_t) {
  g_host->subscriptions.erase(name);
}
void KELP_CDECL Log(const HostFunctionTable*, std::int32_t, const char*) {}

// A resource event of `path` as the host lends it.
struct Event {
  Event(const char* channel, const char* path, HostValue data)
      : channel(channel),
        payload(MakeObject({{"uri", path}, {"eventType", "Update"}, {"data", std::move(data)}})) {}
  std::string channel;
  Host::LentBinding payload;
};

void Deliver(const Event& event) {
  const auto& [callback, context] = g_host->subscriptions.at(event.channel);
  EventRecord record{};
  record.name = event.channel.c_str();
  record.payload = event.payload.value();
  record.context = context;
  callback(&record);
}

HostValue Party() {
  HostValue players = Host::HostObject{};
  for (int i = 0; i < kMembers; ++i) {
    players.Set(Puuid(i), MakeObject({{"displayName", "Player " + std::to_string(i)},
                                      {"puuid", Puuid(i)},
                                      {"partyId", "party-1"},
                                      {"summonerId", 1000u + i},
                                      {"role", i == 0 ? "LEADER" : "MEMBER"}}));
  }
  return MakeObject({{"partyId", "party-1"}, {"players", players}});
}

// Participant ids carry `generation`, so that alternating generations
// change both lists without bringing new puuids.
HostValue Sessions(int generation) {
  HostArray participants;
  for (int i = 0; i < kMembers; ++i) {
    participants.push_back(MakeObject({{"id", "p" + std::to_string(generation) + std::to_string(i)},
                                       {"name", Puuid(i)},
                                       {"volume", 75u},
                                       {"energy", 10u * i},
                                       {"isMuted", false},
                                       {"isSpeaking", i == 2}}));
  }
  return HostArray{MakeObject({{"id", "party-1"},
                               {"status", "active"},
                               {"participants", participants},
                               {"volume", 100u},
                               {"isMuted", false},
                               {"isTransmitEnabled", true}})};
}

// The plugin, loaded, started and joined to a party of five.
class LoadedPlugin {
 public:
  LoadedPlugin() {
    g_host = &host_;
    host_.table.sendRequest = SendRequest;
    host_.table.publishEvent = Publish;
    host_.table.subscribe = Subscribe;
    host_.table.unsubscribe = Unsubscribe;
    host_.table.log = Log;
    if (!library_.ok()) std::abort();
    library_.entry()(&record_);
    record_.entryTable->init(record_.context, &host_.context);
    Deliver({"OnJsonApiEvent_entitlements_v1_token", "/entitlements/v1/token",
             MakeObject({{"entitlements", HostArray{"urn:entitlement:tavkelp.zeb.voice"}}})});
    Deliver({"OnJsonApiEvent_tav-summoner_v1_current-summoner", "/tav-summoner/v1/current-summoner",
             MakeObject({{"accountId", 7u}, {"puuid", Puuid(0)}})});
    Deliver({"OnJsonApiEvent_tav-lobby_v2_comms", "/tav-lobby/v2/comms/members", Party()});
  }
  ~LoadedPlugin() { record_.entryTable->shutdown(record_.context); }

  BenchHost& host() { return host_; }
  const EndpointFunctionRecord& Function(std::string_view name) const {
    const PluginApiDescriptor* descriptor = record_.apiDescriptor;
    for (std::uint32_t i = 0; i < descriptor->functionCount; ++i) {
      if (name == descriptor->functions[i].description.name) return descriptor->functions[i];
    }
    std::abort();
  }
  const EndpointFunctionRecord& Route(std::uint32_t method, std::string_view path) const {
    const EndpointFunctionRecord* function =
        Host::FindEndpoint(record_.apiDescriptor, method, {}, path);
    if (function == nullptr) std::abort();
    return *function;
  }

 private:
  BenchHost host_;
  Host::PluginLibrary library_{KELP_PLUGIN_PATH};
  PluginLoadRecord record_{18, 0, 0, nullptr, nullptr, nullptr, nullptr};
};

const char* const kSessionsChannel = "OnJsonApiEvent_voice-chat_v2_sessions";

void SessionsEvent_Ours(benchmark::State& state) {
  LoadedPlugin plugin;
  const Event events[2] = {{kSessionsChannel, "/voice-chat/v2/sessions", Sessions(0)},
                           {kSessionsChannel, "/voice-chat/v2/sessions", Sessions(1)}};
  Deliver(events[1]);
  const std::size_t before = plugin.host().published;
  int next = 0;
  for (auto _ : state) {
    Deliver(events[next]);
    next ^= 1;
  }
  // Each event republishes the list and the records, each on two channels.
  const std::size_t expected = 4 * static_cast<std::size_t>(state.iterations());
  if (plugin.host().published - before != expected) state.SkipWithError("not both publications");
}

// What a baseline does per event: the payload into a tree, the tree into the
// event record, its data into `value`. False when a conversion failed.
template <class T>
bool DecodeEvent(const Event& event, const TypeRegistry& registry, T& value) {
  BindingProperty tree;
  BindingResult failure{};
  if (!ToBindingProperty(event.payload.value(), "<payload>", tree, failure)) return false;
  ConversionResult result;
  PluginResourceEvent resource;
  FromProperty(result, tree, "<result>", resource, registry);
  FromProperty(result, resource.data, "<value>", value, registry);
  return result.ok();
}

// The baseline: the same payload into its event record and the sessions.
void SessionsEvent_Baseline(benchmark::State& state) {
  TypeRegistry registry;
  RegisterPluginManagerTypes(registry);
  Client::Api::RegisterVoiceRecords(registry, "TavPremadeVoice", {});
  const Event event{kSessionsChannel, "/voice-chat/v2/sessions", Sessions(0)};
  for (auto _ : state) {
    std::vector<Client::Api::SessionResource> sessions;
    if (!DecodeEvent(event, registry, sessions) || sessions.size() != 1) std::abort();
    benchmark::DoNotOptimize(sessions.data());
  }
}

void GetParticipants_Ours(benchmark::State& state) {
  LoadedPlugin plugin;
  Deliver({kSessionsChannel, "/voice-chat/v2/sessions", Sessions(0)});
  const EndpointFunctionRecord& function = plugin.Function("GetTavPremadeVoiceV1Participants");
  InvokeRequest request{};
  request.method = HTTP_METHOD_GET;
  request.path = "/tav-premade-voice/v1/participants";
  request.function = &function.description.invoke;
  InvokeResponse response{};
  for (auto _ : state) {
    function.invoke(&response, &request);
    if (response.result.value.payload.collection.count != kMembers) std::abort();
    response.release(&response);
  }
}

// The baseline: the same list converted into a boundary value and freed.
void GetParticipants_Baseline(benchmark::State& state) {
  TypeRegistry registry;
  Client::Api::RegisterVoiceRecords(registry, "TavPremadeVoice", {});
  std::vector<Client::Api::PremadeVoiceParticipantDto> list(kMembers);
  for (int i = 0; i < kMembers; ++i) {
    list[i].participantId = "p0" + std::to_string(i);
    list[i].puuid = Puuid(i);
    list[i].displayName = "Player " + std::to_string(i);
    list[i].volume = 75;
  }
  for (auto _ : state) {
    const ConversionResult tree = ToProperty(list, registry);
    BindingValue value{};
    if (!ToBindingValue(tree.value(), &registry, value)) std::abort();
    Destroy(value);
  }
}

// The local settings category as the settings plugin reports it.
HostValue LocalCategory() {
  return MakeObject(
      {{"schemaVersion", 1u},
       {"data", MakeObject({{"currentCaptureDeviceHandle", "{0.0.1.00000000}.{6e1f-44b1}"},
                            {"inputVolume", 50u},
                            {"vadSensitivity", 65u}})}});
}

// Calls `function` with a JSON body, as the host does for a request of the
// user interface, and releases the response.
void InvokeWithBody(const EndpointFunctionRecord& function, std::uint32_t method, const char* path,
                    std::string_view body) {
  InvokeRequest request{};
  request.method = method;
  request.path = path;
  request.function = &function.description.invoke;
  request.contentType = "application/json";
  request.body = reinterpret_cast<const std::uint8_t*>(body.data());
  request.bodyLength = static_cast<std::uint32_t>(body.size());
  InvokeResponse response{};
  function.invoke(&response, &request);
  if (response.result.failed != 0) std::abort();
  response.release(&response);
}

void SettingsPut_Ours(benchmark::State& state) {
  LoadedPlugin plugin;
  Deliver({"OnJsonApiEvent_tav-settings_v2_local", "/tav-settings/v2/local/tav-premade-voice",
           LocalCategory()});
  const char* const path = "/tav-premade-voice/v1/self/micLevel";
  const EndpointFunctionRecord& function = plugin.Route(HTTP_METHOD_PUT, path);
  const std::size_t before = plugin.host().localPatches;
  for (auto _ : state) InvokeWithBody(function, HTTP_METHOD_PUT, path, "30");
  if (plugin.host().localPatches - before != static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("not one PATCH per PUT");
  }
}

// The baseline: the body read as the level, the category record that
// carries it converted into the boundary value of the PATCH, and freed.
void SettingsPut_Baseline(benchmark::State& state) {
  TypeRegistry registry;
  Client::Api::RegisterVoiceRecords(registry, "TavPremadeVoice", {});
  Client::Api::LocalSettingsCategoryResource record;
  record.schemaVersion = 1;
  record.data.emplace().currentCaptureDeviceHandle = "{0.0.1.00000000}.{6e1f-44b1}";
  for (auto _ : state) {
    BindingProperty body;
    body.SetUnsigned(30);
    ConversionResult result;
    std::int32_t level = 0;
    FromProperty(result, body, "micLevel", level, registry);
    record.data->inputVolume = static_cast<std::uint32_t>(level);
    const ConversionResult tree = ToProperty(record, registry);
    BindingValue value{};
    if (!result.ok() || !ToBindingValue(tree.value(), &registry, value)) std::abort();
    Destroy(value);
  }
}

const char* const kAudioChannel = "OnJsonApiEvent_voice-chat_v1_audio-properties";

HostValue Audio(std::uint32_t energy) {
  return MakeObject({{"isLoopbackEnabled", true}, {"micEnergy", energy}});
}

void AudioPropertiesEvent_Ours(benchmark::State& state) {
  LoadedPlugin plugin;
  Deliver({"OnJsonApiEvent_voice-chat_v2_state", "/voice-chat/v2/state",
           MakeObject({{"connected", true}})});
  const char* const path = "/tav-premade-voice/v1/mic-test";
  InvokeWithBody(plugin.Route(HTTP_METHOD_POST, path), HTTP_METHOD_POST, path, {});
  const Event events[2] = {{kAudioChannel, "/voice-chat/v1/audio-properties", Audio(40)},
                           {kAudioChannel, "/voice-chat/v1/audio-properties", Audio(41)}};
  const std::size_t before = plugin.host().published;
  int next = 0;
  for (auto _ : state) {
    Deliver(events[next]);
    next ^= 1;
  }
  // Each reading is published on its channel and on the common one.
  if (plugin.host().published - before != 2 * static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("not one publication per reading");
  }
}

// The baseline: the same payload into its event record and the reading.
void AudioPropertiesEvent_Baseline(benchmark::State& state) {
  TypeRegistry registry;
  RegisterPluginManagerTypes(registry);
  Client::Api::RegisterVoiceRecords(registry, "TavPremadeVoice", {});
  const Event event{kAudioChannel, "/voice-chat/v1/audio-properties", Audio(40)};
  for (auto _ : state) {
    Client::Api::AudioPropertiesResource audio;
    if (!DecodeEvent(event, registry, audio) || audio.micEnergy != 40) std::abort();
    benchmark::DoNotOptimize(audio);
  }
}

BENCHMARK(SessionsEvent_Ours);
BENCHMARK(SessionsEvent_Baseline);
BENCHMARK(GetParticipants_Ours);
BENCHMARK(GetParticipants_Baseline);
BENCHMARK(SettingsPut_Ours);
BENCHMARK(SettingsPut_Baseline);
BENCHMARK(AudioPropertiesEvent_Ours);
BENCHMARK(AudioPropertiesEvent_Baseline);

}  // namespace
}  // namespace Kelp

int main(int argc, char** argv) {
  Kelp::Bench::RepeatUnlessAsked(argc, argv);
  benchmark::Initialize(&argc, argv);
  Kelp::Bench::RatioReporter reporter(Kelp::Bench::Ratio::Time);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
