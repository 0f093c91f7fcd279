// Stand-in for the entitlements service: the signed-in account's
// entitlement token, announced on "/entitlements/v1/token" and answered by
// its GET.
#ifndef KELP_HOST_STANDINS_ENTITLEMENTS_H_
#define KELP_HOST_STANDINS_ENTITLEMENTS_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class EntitlementsStandIn : public StandIn {
 public:
  static constexpr std::string_view kTokenPath = "/entitlements/v1/token";
  static constexpr std::string_view kVoiceEntitlement = "urn:entitlement:tavkelp.zeb.voice";

  EntitlementsStandIn(ReferenceHost& host, WorldJournal& journal);

  // Replaces the entitlements and queues an Update event of the token.
  void SetEntitlements(std::vector<std::string> entitlements);
  // Adds or removes the voice entitlement, keeping the others.
  void SetVoiceEntitlement(bool granted);
  // The token goes away: a Delete event.
  void DeleteToken();
  const std::vector<std::string>& entitlements() const { return entitlements_; }

 private:
  HostValue TokenData() const;

  std::vector<std::string> entitlements_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_ENTITLEMENTS_H_
