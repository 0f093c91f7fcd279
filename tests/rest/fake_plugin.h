// A plugin whose host forwarders are answered in-process: outbound requests
// go to a test-supplied answer, waits are counted.
#ifndef KELP_TESTS_REST_FAKE_PLUGIN_H_
#define KELP_TESTS_REST_FAKE_PLUGIN_H_

#include <functional>
#include <string>
#include <vector>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/binding_value.h"
#include "sdk/binding/memory.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp::test {

// What the host saw of one outbound request.
struct SentRequest {
  std::uint32_t method = 0;
  std::string path;
  std::uint32_t argumentCount = 0;
  bool argumentNamed = false;
  BindingProperty argument;
  std::uint32_t senderHandle = 0;
};

inline int releaseCount = 0;

// Frees what FillError and friends put into a response.
inline void KELP_CDECL ReleaseResponse(InvokeResponse* response) {
  ++releaseCount;
  DestroyResult(response->result);
  *response = InvokeResponse{};
}

class FakePlugin : public PluginBase {
 public:
  std::function<void(InvokeResponse&)> answer;
  std::vector<SentRequest> sent;
  int waits = 0;

  void HostSendRequest(InvokeResponse* response, const InvokeRequest* request) override {
    SentRequest seen;
    seen.method = request->method;
    seen.path = request->path;
    seen.argumentCount = request->argumentCount;
    seen.senderHandle = request->senderHandle;
    if (request->argumentCount > 0) {
      seen.argumentNamed = request->arguments[0].name != nullptr;
      BindingResult failure{};
      if (!ToBindingProperty(request->arguments[0].value, "argument", seen.argument, failure)) {
        DestroyResult(failure);
      }
    }
    sent.push_back(std::move(seen));
    response->release = ReleaseResponse;
    if (answer) answer(*response);
  }
  void HostEnterWait(const std::string& name) override {
    if (name == "Wait: yield") ++waits;
  }
};

}  // namespace Kelp::test

#endif  // KELP_TESTS_REST_FAKE_PLUGIN_H_
