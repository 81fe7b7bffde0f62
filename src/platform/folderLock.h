// An advisory lock on a folder, held for the life of the object: one process at a time works
// in the folder, whatever else tells the processes apart.
#pragma once

#include <string>

namespace vantle::platform {

class TfolderLock {
public:
    enum class Tstate {
        held,       // this process holds the lock
        taken,      // another process holds it
        unavailable // the folder cannot be opened or locked here
    };

    // Tries once, without waiting. The lock goes with the object, or with the process.
    explicit TfolderLock(const std::string& folder);
    ~TfolderLock();
    TfolderLock(const TfolderLock&) = delete;
    TfolderLock& operator=(const TfolderLock&) = delete;

    Tstate state() const { return state_; }
    // Why the lock is unavailable: the system's reason and the folder.
    const std::string& problem() const { return problem_; }

private:
    int fd_ = -1;
    Tstate state_ = Tstate::unavailable;
    std::string problem_;
};

} // namespace vantle::platform
