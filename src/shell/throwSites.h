// Where exceptions were thrown: once recording is on, every throw keeps the thrower's call stack
// on its thread, so that a report made after the stack has unwound still shows where the
// failure arose.
#pragma once

#include <typeinfo>
#include <vector>

namespace vantle::crash {

// From now on, in every thread.
void recordThrowSites();

// The call stack, innermost call first, of this thread's recent throw of the object; when the
// object is not known (a thrown value of no class type), of its latest throw of the type. Empty
// when none of the last few throws matches.
std::vector<void*> throwSite(const void* object, const std::type_info* type);

} // namespace vantle::crash
