// Converting a voice-chat session record between a BindingProperty tree and
// its native form through the type registry, against a hand-written
// field-by-field copy of the same record.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include "sdk/binding/conversion.h"
#include "sdk/binding/type_builder.h"

namespace {

// benchmark_main prints the context: the processor is named beside its caches.
[[maybe_unused]] const bool kProcessorNamed = Kelp::Bench::NameProcessorInContext();

using namespace Kelp;

enum class ParticipantState : std::int32_t { Connecting = 0, Connected = 1, Left = 2 };

struct Participant {
  std::string puuid;
  std::string displayName;
  std::uint32_t volume = 50;
  bool isMuted = false;
  bool isSpeaking = false;
  double energy = 0;
  ParticipantState state = ParticipantState::Connecting;
};

struct VoiceSession {
  std::string sessionId;
  std::string name;
  bool isMuted = false;
  std::uint64_t joinedAt = 0;
  std::vector<Participant> participants;
};

TypeRegistry& Registry() {
  static TypeRegistry* registry = [] {
    auto* r = new TypeRegistry;
    TypeBuilder<ParticipantState>(*r, "ParticipantState")
        .Value("Connecting", ParticipantState::Connecting)
        .Value("Connected", ParticipantState::Connected)
        .Value("Left", ParticipantState::Left);
    TypeBuilder<Participant>(*r, "Participant")
        .Field("puuid", &Participant::puuid)
        .Field("displayName", &Participant::displayName)
        .Field("volume", &Participant::volume)
        .Field("isMuted", &Participant::isMuted)
        .Field("isSpeaking", &Participant::isSpeaking)
        .Field("energy", &Participant::energy)
        .Field("state", &Participant::state);
    TypeBuilder<VoiceSession>(*r, "VoiceSession")
        .Field("sessionId", &VoiceSession::sessionId)
        .Field("name", &VoiceSession::name)
        .Field("isMuted", &VoiceSession::isMuted)
        .Field("joinedAt", &VoiceSession::joinedAt)
        .Field("participants", &VoiceSession::participants);
    return r;
  }();
  return *registry;
}

VoiceSession MakeSession() {
  VoiceSession session;
  session.sessionId = "9f1c2a4e-5b6d-4e7f-8a9b-0c1d2e3f4a5b";
  session.name = "party-7c1b9e2d";
  session.joinedAt = 1733650000123;
  for (int i = 0; i < 5; ++i) {
    Participant p;
    p.puuid = "a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5" + std::to_string(i);
    p.displayName = "Player " + std::to_string(i);
    p.volume = 40u + static_cast<std::uint32_t>(i) * 10u;
    p.isMuted = i == 2;
    p.isSpeaking = i == 0;
    p.energy = 0.125 * i;
    p.state = ParticipantState::Connected;
    session.participants.push_back(p);
  }
  return session;
}

// The baseline: what a caller would write by hand for this one record.
void HandRead(const BindingProperty& in, VoiceSession& out) {
  out.sessionId.assign(in["sessionId"].GetString());
  out.name.assign(in["name"].GetString());
  out.isMuted = in["isMuted"].GetBool();
  out.joinedAt = in["joinedAt"].GetUnsigned();
  const BindingProperty& list = in["participants"];
  out.participants.resize(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    const BindingProperty& p = list[i];
    Participant& q = out.participants[i];
    q.puuid.assign(p["puuid"].GetString());
    q.displayName.assign(p["displayName"].GetString());
    q.volume = static_cast<std::uint32_t>(p["volume"].GetUnsigned());
    q.isMuted = p["isMuted"].GetBool();
    q.isSpeaking = p["isSpeaking"].GetBool();
    q.energy = p["energy"].GetFloat();
    q.state = static_cast<ParticipantState>(p["state"].GetEnum().value);
  }
}

void HandWrite(const VoiceSession& in, BindingProperty& out) {
  out["sessionId"].SetString(in.sessionId);
  out["name"].SetString(in.name);
  out["isMuted"].SetBool(in.isMuted);
  out["joinedAt"].SetUnsigned(in.joinedAt);
  BindingProperty& list = out["participants"];
  list.MakeCollection();
  list.Reserve(in.participants.size());
  for (const Participant& p : in.participants) {
    BindingProperty& q = list.Append();
    q["puuid"].SetString(p.puuid);
    q["displayName"].SetString(p.displayName);
    q["volume"].SetUnsigned(p.volume);
    q["isMuted"].SetBool(p.isMuted);
    q["isSpeaking"].SetBool(p.isSpeaking);
    q["energy"].SetFloat(p.energy);
    q["state"].SetEnum(static_cast<std::int32_t>(p.state), StaticTypeOf<ParticipantState>());
  }
}

void BM_ReadRegistry(benchmark::State& state) {
  const ConversionResult tree = ToProperty(MakeSession(), Registry());
  for (auto _ : state) {
    VoiceSession session;
    ConversionResult result;
    FromProperty(result, tree.value(), "<value>", session, Registry());
    benchmark::DoNotOptimize(session);
  }
}
BENCHMARK(BM_ReadRegistry);

void BM_ReadHandWritten(benchmark::State& state) {
  const ConversionResult tree = ToProperty(MakeSession(), Registry());
  for (auto _ : state) {
    VoiceSession session;
    HandRead(tree.value(), session);
    benchmark::DoNotOptimize(session);
  }
}
BENCHMARK(BM_ReadHandWritten);

void BM_WriteRegistry(benchmark::State& state) {
  const VoiceSession session = MakeSession();
  BindingProperty byHand;
  HandWrite(session, byHand);
  if (!(ToProperty(session, Registry()).value() == byHand)) {
    state.SkipWithError("the two conversions disagree");
  }
  for (auto _ : state) {
    ConversionResult result = ToProperty(session, Registry());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_WriteRegistry);

void BM_WriteHandWritten(benchmark::State& state) {
  const VoiceSession session = MakeSession();
  for (auto _ : state) {
    BindingProperty out;
    HandWrite(session, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_WriteHandWritten);

}  // namespace

BENCHMARK_MAIN();
