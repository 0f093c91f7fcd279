// WatchedResource<T>: this plugin's mirror of one resource of another plugin.
//
//   WatchedResource<Summoner> summoner;
//   summoner.SetOwner(plugin);
//   summoner.AddListener([this] { OnSummonerChanged(); });
//   summoner.Bind("/tav-summoner/v1/current-summoner");
//   ...
//   summoner.Unbind();  // in Shutdown, before the base shutdown
//
// Create and Update events store the event's data and mark the mirror as
// holding a value; Delete keeps the last data but marks it as holding none;
// event types outside Create..Delete are ignored. Listeners run, in the
// order they were added, after every accepted event and after every Set or
// Reset. A mirror that is never bound to a path can still be set by hand.
//
// Like the plugin state around it, a mirror has no lock: the host delivers
// the plugin's events one at a time. The owner must outlive the binding.
#ifndef KELP_PREMADE_VOICE_WATCHED_RESOURCE_H_
#define KELP_PREMADE_VOICE_WATCHED_RESOURCE_H_

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sdk/plugin/plugin_base.h"
#include "sdk/plugin/plugin_manager_types.h"
#include "sdk/plugin/resource_events.h"

namespace Kelp::Client {

// The event types a voice handler acts on; Delete and unknown types are not.
inline bool IsCreateOrUpdate(PluginResourceEventType type) {
  return type == PluginResourceEventType::Create || type == PluginResourceEventType::Update;
}

template <class T>
class WatchedResource {
 public:
  using Listener = std::function<void()>;

  bool hasValue() const { return hasValue_; }
  // The data of the last Create or Update (or Set); kept after a Delete.
  const T& value() const { return value_; }
  const std::string& path() const { return path_; }

  void SetOwner(PluginBase& owner) { owner_ = &owner; }
  void AddListener(Listener listener) { listeners_.push_back(std::move(listener)); }

  // Sets the path and subscribes to it through the owner, with this mirror
  // as the path's event handler. REQUIRES: an owner.
  void Bind(std::string_view path) {
    path_ = std::string(path);
    owner_->template AddResourceHandler<T>(
        path_, [this](const ResourceEvent<T>& event) { Receive(event); });
  }

  // Empties the listener list; a bound mirror unsubscribes its path and
  // forgets it. Safe to call more than once.
  void Unbind() {
    listeners_.clear();
    if (path_.empty()) return;
    if (owner_ != nullptr) owner_->Unsubscribe(path_);
    path_.clear();
  }

  // The event handler of the bound path.
  void Receive(const ResourceEvent<T>& event) {
    switch (event.eventType) {
      case PluginResourceEventType::Create:
      case PluginResourceEventType::Update:
        return Set(event.value);
      case PluginResourceEventType::Delete:
        return Reset();
    }
  }

  // Stores `value` as if an Update had arrived.
  void Set(const T& value) {
    value_ = value;
    hasValue_ = true;
    Notify();
  }
  // Marks the mirror as holding no value, as if a Delete had arrived.
  void Reset() {
    hasValue_ = false;
    Notify();
  }

 private:
  void Notify() {
    // A listener may add listeners; the ones present now run.
    const std::size_t count = listeners_.size();
    for (std::size_t i = 0; i < count && i < listeners_.size(); ++i) {
      const Listener listener = listeners_[i];
      listener();
    }
  }

  PluginBase* owner_ = nullptr;
  bool hasValue_ = false;
  T value_{};
  std::vector<Listener> listeners_;
  std::string path_;
};

}  // namespace Kelp::Client

#endif  // KELP_PREMADE_VOICE_WATCHED_RESOURCE_H_
