// SPDX-License-Identifier: MIT
// What assistive technology gets of the program beyond Qt's own interfaces: the three windows
// as frames without their decorative widgets, the panels as named groups, the gain bar as the
// gain it sets, and the gauges' levels in words.
#pragma once

#include <QString>

namespace sonavik {

class TMusicGauge;

// Installs the program's accessible interfaces; once per process, before the first window
// builds its controls (later calls do nothing). A control of a window (not one inside a panel)
// with the dynamic property "decorative" set is left out of the window's tree.
void InstallAccessibility();

// A level in decibels as a listener hears it: the readout's whole number with its unit
// ("−6 dB", with a true minus sign), or "silence" for a block without a sound.
QString LevelWords(double level);

// Gives the gauge the words for `level`; the gauge announces them only when they change.
void SpeakLevel(TMusicGauge& gauge, double level);

}  // namespace sonavik
