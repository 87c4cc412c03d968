// SPDX-License-Identifier: MIT
#include "capture/pulse/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>

#include <algorithm>
#include <utility>

namespace sonavik {

std::shared_ptr<PulseConnection> PulseConnection::Connect(SoundResult* result) {
  // One bound for the whole exchange, the server's self-description included.
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  const auto remaining = [deadline] {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()));
  };
  std::shared_ptr<PulseConnection> connection(new PulseConnection());
  if (!connection->Start()) {
    *result = DSERR_GENERIC;
    return nullptr;
  }
  {
    Lock lock(*connection);
    pa_context* context = connection->Context();
    // No autospawn: a meter must not start a sound server behind the user's back, and
    // without one it simply runs without sound.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      *result = DSERR_NODRIVER;
      return nullptr;
    }
    const bool settled = connection->WaitFor(
        [context] {
          const pa_context_state_t state = pa_context_get_state(context);
          return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        remaining());
    if (!settled || pa_context_get_state(context) != PA_CONTEXT_READY) {
      *result = DSERR_NODRIVER;
      return nullptr;  // the destructor disconnects a connection still in progress
    }
    connection->FetchDescription(remaining());
  }
  *result = DS_OK;
  return connection;
}

bool PulseConnection::Start() {
  loop_ = std::make_unique<PulseLoop>();
  if (!loop_->Valid()) {
    return false;
  }
  const PulsePropertiesHandle properties(pa_proplist_new());
  pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, "Sonavik");
  pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "sonavik");
  pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ICON_NAME, "sonavik");
  context_.reset(pa_context_new_with_proplist(loop_->Api(), "Sonavik", properties.get()));
  if (context_ == nullptr) {
    return false;
  }
  // The loop's thread is not running yet: nobody else can touch the context.
  pa_context_set_state_callback(context_.get(), &PulseConnection::OnContextState, this);
  return loop_->Start("sonavik-pulse");
}

PulseConnection::~PulseConnection() {
  if (loop_ == nullptr || !loop_->Valid()) {
    return;
  }
  {
    Lock lock(*this);
    if (context_ != nullptr) {
      pa_context_set_state_callback(Context(), nullptr, nullptr);
      pa_context_set_subscribe_callback(Context(), nullptr, nullptr);
      pa_context_disconnect(Context());
      context_.reset();
    }
  }
  // Stopping joins the loop's thread, so it must happen without the lock.
  loop_->Stop();
}

void PulseConnection::Disconnect() {
  Lock lock(*this);
  if (context_ != nullptr && PA_CONTEXT_IS_GOOD(pa_context_get_state(Context()))) {
    pa_context_disconnect(Context());
  }
}

bool PulseConnection::Ready() {
  Lock lock(*this);
  return ContextUsable();
}

bool PulseConnection::ContextUsable() const {
  return context_ != nullptr && pa_context_get_state(Context()) == PA_CONTEXT_READY;
}

void PulseConnection::OnContextState(pa_context* context, void* self) {
  auto* connection = static_cast<PulseConnection*>(self);
  connection->InCallback();
  connection->Signal();
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
    connection->Changed();
  }
}

void PulseConnection::Watch(std::function<void()> onChange) {
  Lock lock(*this);
  onChange_ = std::move(onChange);
  if (!ContextUsable()) {
    return;
  }
  pa_context_set_subscribe_callback(Context(), &PulseConnection::OnServerEvent, this);
  // Nothing waits for the answer: a server that cannot subscribe us still meters.
  const PulseOperationHandle subscribed(
      pa_context_subscribe(Context(),
                           static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE |
                                                               PA_SUBSCRIPTION_MASK_SERVER),
                           nullptr, nullptr));
}

void PulseConnection::OnServerEvent(pa_context* /*context*/, pa_subscription_event_type_t type,
                                    std::uint32_t index, void* self) {
  auto* connection = static_cast<PulseConnection*>(self);
  connection->InCallback();
  if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE &&
      (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
    for (const auto& [owner, onRemoved] : connection->sourceRemovals_) {
      onRemoved(index);
    }
  }
  connection->Changed();
}

void PulseConnection::WatchSourceRemovals(const void* owner,
                                          std::function<void(std::uint32_t)> onRemoved) {
  sourceRemovals_.emplace_back(owner, std::move(onRemoved));
}

void PulseConnection::ForgetSourceRemovals(const void* owner) {
  std::erase_if(sourceRemovals_, [owner](const auto& watch) { return watch.first == owner; });
}

void PulseConnection::Changed() {
  if (onChange_) {
    onChange_();
  }
}

namespace {

struct Deadline {
  PulseLoop* loop;
  bool passed = false;
};

void OnDeadline(pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const struct timeval* /*tv*/,
                void* userdata) {
  auto* deadline = static_cast<Deadline*>(userdata);
  deadline->passed = true;
  deadline->loop->Signal();
}

}  // namespace

bool PulseConnection::WaitFor(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) {
  if (done()) {
    return true;
  }
  // Waiting has no time-out of its own: a timer on the loop wakes us.
  Deadline deadline{loop_.get()};
  const auto usec = static_cast<pa_usec_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
  pa_time_event* timer =
      pa_context_rttime_new(Context(), pa_rtclock_now() + usec, &OnDeadline, &deadline);
  while (!done() && !deadline.passed) {
    loop_->Wait();
  }
  loop_->Api()->time_free(timer);
  return done();
}

bool PulseConnection::Finish(PulseOperationHandle held, std::chrono::milliseconds timeout) {
  pa_operation* operation = held.get();
  if (operation == nullptr) {
    return false;
  }
  // A context that dies cancels its operations; the state callback wakes us for that too.
  pa_operation_set_state_callback(
      operation,
      [](pa_operation* /*op*/, void* self) { static_cast<PulseConnection*>(self)->Signal(); },
      this);
  WaitFor([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
          timeout);
  const bool completed = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  if (!completed) {
    // Whatever answer comes late must not reach a callback whose data is gone.
    pa_operation_cancel(operation);
  }
  pa_operation_set_state_callback(operation, nullptr, nullptr);
  return completed;
}

namespace {

// The server as people know it: "PulseAudio 16.1", or "PipeWire 0.3.65" for pipewire-pulse,
// which calls itself "PulseAudio (on PipeWire 0.3.65)" and gives the protocol's version.
std::string ServerName(const std::string& name, const std::string& version) {
  const std::string onPipeWire = "(on PipeWire ";
  const std::size_t at = name.find(onPipeWire);
  if (at != std::string::npos) {
    const std::size_t from = at + 4;
    return name.substr(from, name.find(')', from) - from);
  }
  // The daemon calls itself "pulseaudio".
  return (name == "pulseaudio" ? std::string("PulseAudio") : name) + " " + version;
}

}  // namespace

void PulseConnection::FetchDescription(std::chrono::milliseconds timeout) {
  struct Answer {
    PulseConnection* self;
    std::string text;
  } answer{this, {}};
  PulseOperationHandle operation(pa_context_get_server_info(
      Context(),
      [](pa_context* /*c*/, const pa_server_info* info, void* userdata) {
        auto* answer = static_cast<Answer*>(userdata);
        if (info != nullptr) {
          answer->text = ServerName(info->server_name != nullptr ? info->server_name : "",
                                    info->server_version != nullptr ? info->server_version : "");
        }
        answer->self->Signal();
      },
      &answer));
  if (Finish(std::move(operation), timeout)) {
    const char* server = pa_context_get_server(Context());
    description_ = answer.text + " (" + (server != nullptr ? server : "?") + ")";
  }
}

SoundResult ResultFromPulseError(int error) {
  switch (error) {
    case PA_OK:
      return DS_OK;
    case PA_ERR_NOENTITY:
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_KILLED:
    case PA_ERR_TIMEOUT:
    case PA_ERR_BADSTATE:
      return DSERR_NODRIVER;
    case PA_ERR_INVALID:
    case PA_ERR_NOTSUPPORTED:
      return DSERR_BADFORMAT;
    case PA_ERR_ACCESS:
    case PA_ERR_BUSY:
    case PA_ERR_EXIST:
      return DSERR_ALLOCATED;
    default:
      return DSERR_GENERIC;
  }
}

}  // namespace sonavik
