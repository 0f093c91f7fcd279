#include "host/standins/entitlements.h"

#include <algorithm>
#include <utility>

namespace Kelp::Host {

EntitlementsStandIn::EntitlementsStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "entitlements") {
  Serve(HTTP_METHOD_GET, std::string(kTokenPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(TokenData()); });
}

HostValue EntitlementsStandIn::TokenData() const {
  HostArray list(entitlements_.begin(), entitlements_.end());
  return MakeObject({{"entitlements", std::move(list)}});
}

void EntitlementsStandIn::SetEntitlements(std::vector<std::string> entitlements) {
  entitlements_ = std::move(entitlements);
  Note(std::to_string(entitlements_.size()) + " entitlement(s)");
  QueueEvent(std::string(kTokenPath), TokenData());
}

void EntitlementsStandIn::SetVoiceEntitlement(bool granted) {
  std::vector<std::string> next = entitlements_;
  std::erase(next, std::string(kVoiceEntitlement));
  if (granted) next.emplace_back(kVoiceEntitlement);
  SetEntitlements(std::move(next));
}

void EntitlementsStandIn::DeleteToken() {
  entitlements_.clear();
  Note("entitlement token deleted");
  QueueEvent(std::string(kTokenPath), HostValue(), "Delete");
}

}  // namespace Kelp::Host
