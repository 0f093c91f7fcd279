// Stand-in for the login plugin: the login session ("connected"), announced
// on "/tav-login/v1/session", and the login data packet answered at
// "/tav-login/v1/login-data-packet", whose "platformId" may be a string, a
// number, a bool or missing.
#ifndef KELP_HOST_STANDINS_LOGIN_H_
#define KELP_HOST_STANDINS_LOGIN_H_

#include <optional>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class LoginStandIn : public StandIn {
 public:
  static constexpr std::string_view kSessionPath = "/tav-login/v1/session";
  static constexpr std::string_view kDataPacketPath = "/tav-login/v1/login-data-packet";

  LoginStandIn(ReferenceHost& host, WorldJournal& journal);

  // Queues an Update event of the session.
  void SetConnected(bool connected);
  bool connected() const { return connected_; }
  // The packet's "platformId"; nullopt leaves the member out.
  void SetPlatformId(std::optional<HostValue> platformId) { platformId_ = std::move(platformId); }

 private:
  bool connected_ = false;
  std::optional<HostValue> platformId_ = HostValue("EUW1");
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_LOGIN_H_
