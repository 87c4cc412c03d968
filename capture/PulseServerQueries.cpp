#include "PulseServerQueries.h"

#include <pulse/introspect.h>

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
  bool found = false;
};

template <class Info>
void OnLookup(pa_context* /*c*/, const Info* info, int eol, void* userdata) {
  auto* lookup = static_cast<Lookup*>(userdata);
  if (eol == 0 && info != nullptr) {
    lookup->found = true;
  }
  lookup->connection->Signal();
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
  pa_operation* serverInfo = pa_context_get_server_info(
      connection.Context(),
      [](pa_context* /*c*/, const pa_server_info* info, void* userdata) {
        auto* defaults = static_cast<Defaults*>(userdata);
        if (info != nullptr && info->default_source_name != nullptr) {
          defaults->source = info->default_source_name;
        }
        defaults->connection->Signal();
      },
      &defaults);
  if (!connection.Finish(serverInfo)) {
    return false;
  }
  SourceList list{&connection, {}};
  if (!connection.Finish(
          pa_context_get_source_info_list(connection.Context(), &OnSourceInfo, &list))) {
    return false;
  }
  *sources = std::move(list.entries);
  *defaultSource = std::move(defaults.source);
  return true;
}

SoundResult FindSource(PulseConnection& connection, const std::string* name) {
  PulseConnection::Lock lock(connection);
  if (!connection.ContextUsable()) {
    return DSERR_NODRIVER;
  }
  Lookup lookup{&connection};
  // The server resolves its default by this special name, so the check and the stream later
  // agree on what "the default" is.
  const char* wanted = name != nullptr ? name->c_str() : "@DEFAULT_SOURCE@";
  const bool answered = connection.Finish(pa_context_get_source_info_by_name(
      connection.Context(), wanted, &OnLookup<pa_source_info>, &lookup));
  return answered && lookup.found ? DS_OK : DSERR_NODRIVER;
}

SoundResult FindSink(PulseConnection& connection, const std::string* name) {
  PulseConnection::Lock lock(connection);
  if (!connection.ContextUsable()) {
    return DSERR_NODRIVER;
  }
  Lookup lookup{&connection};
  const char* wanted = name != nullptr ? name->c_str() : "@DEFAULT_SINK@";
  const bool answered = connection.Finish(pa_context_get_sink_info_by_name(
      connection.Context(), wanted, &OnLookup<pa_sink_info>, &lookup));
  return answered && lookup.found ? DS_OK : DSERR_NODRIVER;
}

}  // namespace sonavik
