// SPDX-License-Identifier: MIT
// One reference to a libpulse object, given back when its holder goes or is reset, as SoundRef
// does for the platform's own objects. Objects of a connection are given back with its
// main-loop lock held, like every other call on them.
#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>

#include <memory>

namespace sonavik {

template <auto Release>
struct PulseRelease {
  template <class T>
  void operator()(T* object) const {
    Release(object);
  }
};

using PulseMainloopHandle = std::unique_ptr<pa_mainloop, PulseRelease<&pa_mainloop_free>>;
using PulseContextHandle = std::unique_ptr<pa_context, PulseRelease<&pa_context_unref>>;
using PulseStreamHandle = std::unique_ptr<pa_stream, PulseRelease<&pa_stream_unref>>;
using PulseOperationHandle = std::unique_ptr<pa_operation, PulseRelease<&pa_operation_unref>>;
using PulsePropertiesHandle = std::unique_ptr<pa_proplist, PulseRelease<&pa_proplist_free>>;

}  // namespace sonavik
