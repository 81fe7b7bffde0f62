// The per-user store of single-instance records: for each entry name, the window and the
// process of the instance that registered it. One small file per entry in a folder only the
// user can reach; a record whose process is gone reads as empty, so a crash never locks the
// user out.
#pragma once

#include <cstdint>
#include <string>

namespace vantle::platform {

struct InstanceRecord {
    std::uint32_t window = 0;    // non-zero: the owner listens for requests
    std::uint32_t processId = 0; // non-zero: the entry is registered

    friend bool operator==(const InstanceRecord&, const InstanceRecord&) = default;
};

// The account name of the user running this process (at most 256 characters).
std::string userName();

// $XDG_RUNTIME_DIR/vantle, else $XDG_CACHE_HOME/vantle/run (~/.cache/vantle/run): never a
// shared place another user could take first. Created with mode 0700 when missing, narrowed
// to 0700 when the user's own. Raises std::system_error when it cannot be created or when it
// is not the user's own folder.
std::string instanceFolder();

// The record of an entry; (0, 0) when there is none, or when its process no longer exists or
// runs another program than the given one (this process's own when empty).
InstanceRecord readInstanceRecord(const std::string& entryName, const std::string& program = {});
// Replaces the record in one step. Raises std::system_error on failure.
void writeInstanceRecord(const std::string& entryName, const InstanceRecord& record);

// Whether a process with that id runs the given program file (this process's own when empty).
bool isSameProgramRunning(std::uint32_t processId, const std::string& program = {});

} // namespace vantle::platform
