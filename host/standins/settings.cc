#include "host/standins/settings.h"

#include <system_error>
#include <utility>

#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

HostValue EmptyCategory() { return MakeObject({{"schemaVersion", 1u}}); }

// Why `value` cannot be a stored category, or empty when it can.
std::string CategoryProblem(const HostValue& value) {
  if (value.kind() != HostValue::Kind::Object) return "not a JSON object";
  const HostValue* data = value.Find("data");
  if (data != nullptr && data->kind() != HostValue::Kind::Object) return "\"data\" is no object";
  return {};
}

}  // namespace

SettingsStandIn::SettingsStandIn(ReferenceHost& host, WorldJournal& journal,
                                 std::filesystem::path dataDir)
    : StandIn(host, journal, "settings"), dataDir_(std::move(dataDir)) {
  categories_.push_back({std::string(kAccountPath), "account-tav-premade-voice.json", {}});
  categories_.push_back({std::string(kLocalPath), "local-tav-premade-voice.json", {}});
  if (!dataDir_.empty()) {
    std::error_code error;
    std::filesystem::create_directories(dataDir_, error);
    if (error) Warn("cannot create " + dataDir_.string() + ": " + error.message());
  }
  for (Category& category : categories_) {
    Load(category);
    Serve(HTTP_METHOD_GET, category.path, [this, path = category.path](const OutboundRequest&) {
      return HostAnswer::Success(Find(path)->record);
    });
    Serve(HTTP_METHOD_PATCH, category.path,
          [this, path = category.path](const OutboundRequest& request) {
            return Patch(*Find(path), request);
          });
  }
}

SettingsStandIn::Category* SettingsStandIn::Find(std::string_view path) {
  for (Category& category : categories_) {
    if (category.path == path) return &category;
  }
  return nullptr;
}

const SettingsStandIn::Category* SettingsStandIn::Find(std::string_view path) const {
  return const_cast<SettingsStandIn*>(this)->Find(path);
}

std::filesystem::path SettingsStandIn::FileOf(std::string_view path) const {
  const Category* category = Find(path);
  if (category == nullptr || dataDir_.empty()) return {};
  return dataDir_ / category->fileName;
}

void SettingsStandIn::Load(Category& category) {
  category.record = EmptyCategory();
  const std::filesystem::path file = FileOf(category.path);
  if (file.empty()) return;
  std::string text;
  std::string error;
  if (!ReadWholeFile(file, text, error)) {
    Warn("nothing stored for " + category.path + ": " + file.string() + " unreadable (" + error +
         ")");
    return;
  }
  HostValueResult parsed = ReadJsonText(text);
  if (parsed.ok()) parsed.error = CategoryProblem(parsed.value);
  if (!parsed.ok()) {
    std::filesystem::path aside = file;
    aside += ".corrupt";
    std::error_code moved;
    std::filesystem::rename(file, aside, moved);
    Warn("nothing stored for " + category.path + ": " + file.string() + " is corrupt (" +
         parsed.error + "), moved to " + aside.string());
    return;
  }
  category.record = std::move(parsed.value);
  Note("read " + category.path + " from " + file.string());
}

std::string SettingsStandIn::Store(Category& category, HostValue record) {
  const std::filesystem::path file = FileOf(category.path);
  if (!file.empty()) {
    if (writer_ != nullptr && !writer_->Failure(file)) {
      writer_->Write(file, WriteJsonText(record));
    } else {
      // The writer thread may still hold a text for the file: it goes
      // first, so that the two threads never write the same file at once.
      if (writer_ != nullptr) writer_->Flush();
      if (std::string error = ReplaceFile(file, WriteJsonText(record)); !error.empty()) {
        Warn("cannot write " + file.string() + ": " + error);
        return error;
      }
      if (writer_ != nullptr) writer_->ClearFailure(file);
    }
  }
  category.record = std::move(record);
  QueueEvent(category.path, category.record);
  return {};
}

HostAnswer SettingsStandIn::Patch(Category& category, const OutboundRequest& request) {
  const HostValue* body = request.FirstArgument();
  if (body == nullptr || body->kind() != HostValue::Kind::Object) {
    return HostAnswer::Failure(400, "the body of a category PATCH must be an object");
  }
  if (const HostValue* data = body->Find("data");
      data != nullptr && data->kind() != HostValue::Kind::Object) {
    return HostAnswer::Failure(400, "\"data\" must be an object");
  }
  HostValue merged = category.record;
  MergeObject(merged, *body);
  const std::string error = Store(category, std::move(merged));
  if (!error.empty())
    return HostAnswer::Failure(500, "could not store " + category.path + ": " + error);
  Note("stored " + category.path + " " + WriteJsonText(*body));
  return HostAnswer::Success(category.record);
}

void SettingsStandIn::WriteInBackground() {
  if (writer_ == nullptr) writer_ = std::make_unique<DurableWriter>();
}

std::vector<std::string> SettingsStandIn::FlushWrites() {
  std::vector<std::string> failures;
  if (writer_ == nullptr) return failures;
  writer_->Flush();
  for (const Category& category : categories_) {
    const std::filesystem::path file = FileOf(category.path);
    if (auto error = writer_->Failure(file)) {
      failures.push_back("cannot write " + file.string() + ": " + *error);
      Warn(failures.back());
    }
  }
  return failures;
}

void SettingsStandIn::AnnounceReady() {
  Note("settings ready");
  QueueEvent(std::string(kReadyPath), true);
}

HostValue SettingsStandIn::Record(std::string_view path) const {
  const Category* category = Find(path);
  return category == nullptr ? HostValue() : category->record;
}

bool SettingsStandIn::Replace(std::string_view path, const HostValue& record) {
  Category* category = Find(path);
  if (category == nullptr || !CategoryProblem(record).empty()) return false;
  return Store(*category, record).empty();
}

}  // namespace Kelp::Host
