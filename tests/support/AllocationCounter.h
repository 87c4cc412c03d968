// SPDX-License-Identifier: MIT
// Counts the program's heap allocations while a test asks for it. Linking this replaces every
// form of the global operator new and delete (plain, array, nothrow, sized, aligned), so a
// test program that links it must not replace any of them itself.
#pragma once

namespace sonavik::testing {

void StartCountingAllocations();
// Stops counting and gives the number of allocations since the start.
long StopCountingAllocations();

}  // namespace sonavik::testing
