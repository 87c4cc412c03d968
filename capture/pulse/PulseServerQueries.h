// SPDX-License-Identifier: MIT
// Questions the platform asks the sound server: which sources there are, which one is the
// default, whether a source or sink of a given name exists. Each takes the main-loop lock and
// waits for the answer at most PulseConnection::kTimeout.
#pragma once

#include <string>
#include <vector>

#include "capture/pulse/PulseConnection.h"

namespace sonavik {

struct PulseDeviceEntry {
  std::string name;  // the server's stable name, e.g. "alsa_input.usb-...analog-stereo"
  std::string description;
  std::string driver;
};

// Every source, monitors of outputs included, in the server's order; *defaultSource is empty
// when the server names none. False when the server did not answer.
bool QuerySources(PulseConnection& connection, std::vector<PulseDeviceEntry>* sources,
                  std::string* defaultSource);

// DS_OK when the source (name null: the server's default source) exists, else DSERR_NODRIVER.
SoundResult FindSource(PulseConnection& connection, const std::string* name);
// The same for a sink (an output).
SoundResult FindSink(PulseConnection& connection, const std::string* name);

}  // namespace sonavik
