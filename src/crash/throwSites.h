// Where exceptions were thrown: each throw keeps its call stack while the exception lives, so a
// report made after the stack has unwound still shows where the failure arose.
#pragma once

#include <typeinfo>
#include <vector>

namespace vantle::crash {

// From now on, in every thread.
void recordThrowSites();

// The call stack, innermost call first, of the throw of this exception object; when the object
// is not known (a thrown value of a type without virtual functions), of the latest live
// exception of the type. Empty when there is no such record (never thrown, or more live
// exceptions than are kept).
std::vector<void*> throwSite(const void* object, const std::type_info* type);

} // namespace vantle::crash
