// The pie pictures' file names in the html folder. A classification that is a short plain name
// keeps it (peak.png); any other gets a name made from its place in the list, so no text from
// the provider can reach one of the page's own files or lead out of the folder.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace vantle {

// classification + ".png" when the classification matches [a-z0-9_-]{1,64} and names none of
// the status page's own files; otherwise "type." + (index + 1) + ".png", index being the type's
// place in the model's list. The two forms never meet.
std::string pieFileName(std::string_view classification, std::size_t index);

// Whether a file name is one pieFileName gives.
bool isPieFileName(std::string_view name);

// Deletes the pictures of htmlFolder (ending with "/") that pieFileName could have named, other
// than those in keep; the page's own files and anything else stay. Failures go to the
// diagnostic sink.
void removeOtherPies(const std::string& htmlFolder, const std::set<std::string>& keep);

} // namespace vantle
