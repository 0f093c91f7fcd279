// A plugin whose host forwarders are answered in-process: outbound requests
// go to a test-supplied answer, waits are counted. Only for response records
// the reference host never fills: values with unknown tags, failures that
// carry a stream, stream reads that claim more than the buffer or never
// end. Every other request test goes through the reference host.
#ifndef KELP_TESTS_REST_FAKE_PLUGIN_H_
#define KELP_TESTS_REST_FAKE_PLUGIN_H_

#include <functional>
#include <string>

#include "sdk/binding/binding_value.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp::test {

// Frees what FillError and friends put into a response.
inline void KELP_CDECL ReleaseResponse(InvokeResponse* response) {
  DestroyResult(response->result);
  *response = InvokeResponse{};
}

class FakePlugin : public PluginBase {
 public:
  std::function<void(InvokeResponse&)> answer;
  int waits = 0;

  void HostSendRequest(InvokeResponse* response, const InvokeRequest*) override {
    response->release = ReleaseResponse;
    if (answer) answer(*response);
  }
  void HostEnterWait(const std::string& name) override {
    if (name == "Wait: yield") ++waits;
  }
};

}  // namespace Kelp::test

#endif  // KELP_TESTS_REST_FAKE_PLUGIN_H_
