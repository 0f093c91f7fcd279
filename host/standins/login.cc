#include "host/standins/login.h"

namespace Kelp::Host {

LoginStandIn::LoginStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "login") {
  Serve(HTTP_METHOD_GET, std::string(kSessionPath), [this](const OutboundRequest&) {
    return HostAnswer::Success(MakeObject({{"connected", connected_}}));
  });
  Serve(HTTP_METHOD_GET, std::string(kDataPacketPath), [this](const OutboundRequest&) {
    HostValue packet = MakeObject({{"competitiveRegion", "EU"}});
    if (platformId_) packet.Set("platformId", *platformId_);
    return HostAnswer::Success(std::move(packet));
  });
}

void LoginStandIn::SetConnected(bool connected) {
  connected_ = connected;
  Note(connected ? "signed in" : "connection to the platform lost");
  QueueEvent(std::string(kSessionPath), MakeObject({{"connected", connected}}));
}

}  // namespace Kelp::Host
