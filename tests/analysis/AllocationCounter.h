// SPDX-License-Identifier: MIT
// Counts the program's heap allocations while a test asks for it.
#pragma once

namespace sonavik::testing {

void StartCountingAllocations();
// Stops counting and gives the number of allocations since the start.
long StopCountingAllocations();

}  // namespace sonavik::testing
