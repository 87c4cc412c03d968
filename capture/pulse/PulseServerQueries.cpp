// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseServerQueries.h"

#include <pulse/introspect.h>

#include <utility>

namespace sonavik {
namespace {

struct SourceList {
  PulseConnection* connection;
  std::vector<PulseDeviceEntry> entries;
};

void OnSourceInfo(pa_context* /*c*/, const pa_source_info* info, int eol, void* userdata) {
  auto* list = static_cast<SourceList*>(userdata);
  if (eol == 0 && info != nullptr) {
    list->entries.push_back({info->name != nullptr ? info->name : "",
                             info->description != nullptr ? info->description : "",
                             info->driver != nullptr ? info->driver : ""});
  }
  list->connection->Signal();
}

struct Lookup {
  PulseConnection* connection;
  const std::string* name;  // null: the default, whatever its name
  bool found = false;
};

template <class Info>
void OnLookup(pa_context* /*c*/, const Info* info, int eol, void* userdata) {
  auto* lookup = static_cast<Lookup*>(userdata);
  // PipeWire answers a source query for a sink's name with that sink's monitor; only the
  // device of exactly that name counts.
  if (eol == 0 && info != nullptr &&
      (lookup->name == nullptr || (info->name != nullptr && *lookup->name == info->name))) {
    lookup->found = true;
  }
  lookup->connection->Signal();
}

// DS_OK when the server knows the device; query is pa_context_get_source_info_by_name or its
// sink twin, which the server resolves "@DEFAULT_...@" with, so the check and the stream
// later agree on what "the default" is.
template <class Info, class Query>
SoundResult FindDevice(PulseConnection& connection, const std::string* name,
                       const char* defaultName, Query query) {
  PulseConnection::Lock lock(connection);
  if (!connection.ContextUsable()) {
    return DSERR_NODRIVER;
  }
  Lookup lookup{&connection, name};
  const char* wanted = name != nullptr ? name->c_str() : defaultName;
  const bool answered = connection.Finish(
      PulseOperationHandle(query(connection.Context(), wanted, &OnLookup<Info>, &lookup)));
  return answered && lookup.found ? DS_OK : DSERR_NODRIVER;
}

}  // namespace

bool QuerySources(PulseConnection& connection, std::vector<PulseDeviceEntry>* sources,
                  std::string* defaultSource) {
  PulseConnection::Lock lock(connection);
  if (!connection.ContextUsable()) {
    return false;
  }
  struct Defaults {
    PulseConnection* connection;
    std::string source;
  } defaults{&connection, {}};
  PulseOperationHandle serverInfo(pa_context_get_server_info(
      connection.Context(),
      [](pa_context* /*c*/, const pa_server_info* info, void* userdata) {
        auto* defaults = static_cast<Defaults*>(userdata);
        if (info != nullptr && info->default_source_name != nullptr) {
          defaults->source = info->default_source_name;
        }
        defaults->connection->Signal();
      },
      &defaults));
  if (!connection.Finish(std::move(serverInfo))) {
    return false;
  }
  SourceList list{&connection, {}};
  if (!connection.Finish(PulseOperationHandle(
          pa_context_get_source_info_list(connection.Context(), &OnSourceInfo, &list)))) {
    return false;
  }
  *sources = std::move(list.entries);
  *defaultSource = std::move(defaults.source);
  return true;
}

SoundResult FindSource(PulseConnection& connection, const std::string* name) {
  return FindDevice<pa_source_info>(connection, name, "@DEFAULT_SOURCE@",
                                    &pa_context_get_source_info_by_name);
}

SoundResult FindSink(PulseConnection& connection, const std::string* name) {
  return FindDevice<pa_sink_info>(connection, name, "@DEFAULT_SINK@",
                                  &pa_context_get_sink_info_by_name);
}

}  // namespace sonavik
