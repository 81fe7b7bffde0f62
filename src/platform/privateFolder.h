// Folders that hold the account's data: readable by the user only.
#pragma once

#include <string>

namespace vantle::platform {

// Creates the folder and each missing parent with mode 0700; folders that exist keep their
// mode. Raises std::system_error naming the folder that could not be made.
void createPrivateFolders(const std::string& path);

// A folder this process made (mode 0700, of this user) or one this user owns, whose mode is
// then narrowed to 0700. Created with its parents when missing. Raises std::system_error when
// it is not a folder or belongs to another user: someone else could read or replace what is in
// it.
void ensureOwnPrivateFolder(const std::string& path);

} // namespace vantle::platform
