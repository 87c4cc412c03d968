-- SPDX-License-Identifier: MIT
-- Replaces the stock file of the same name for the private PipeWire of scripts/sound-server.
-- No device monitors (the server has no hardware), no flatpak portal, no idle suspend, and no
-- memory of earlier runs: every start offers the same devices with the same defaults.

load_module("metadata")

default_access.properties["enable-flatpak-portal"] = false
default_access.enable()

-- default-nodes picks the default source from the choice that pactl made.
device_defaults.properties["use-persistent-storage"] = false
device_defaults.enable()
