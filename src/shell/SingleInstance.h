// At most one instance per user, and one about window: named per-user entries that say which
// process and window hold a role, and the requests (close, bring to front) that reach the
// holder over a per-user local socket.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace vantle {

inline constexpr const char* MainInstanceName = "zintra.vantle";
inline constexpr const char* AboutInstanceName = "zintra.vantle.about";

struct TinstanceEntry {
    std::uint32_t window = 0;
    std::uint32_t processId = 0;

    friend bool operator==(const TinstanceEntry&, const TinstanceEntry&) = default;
};

namespace SingleInstance {

// The entry of base + "." + the user name; (0, 0) when nothing holds it, also when the process
// that registered it has died. Raises Error with the system's message when the store fails.
TinstanceEntry query(const std::string& base);

// Registers the window with this process; the entry is cleared again at exit.
void registerWindow(const std::string& base, QWidget* window);
// Writes the given pair ((0, 0) clears the entry); the entry is cleared again at exit.
void registerValues(const std::string& base, std::uint32_t window, std::uint32_t processId);

// Asks the holder of the entry to close its window, and waits until it has answered. False
// when no holder answered.
bool closeWindow(const TinstanceEntry& entry);
// Asks the holder to show its window in front.
bool bringToFront(const TinstanceEntry& entry);

// Clears every entry this process wrote; runs by itself at exit.
void clearWrittenEntries();
// Stops answering requests; call before the Qt application ends.
void stopListening();

} // namespace SingleInstance
} // namespace vantle
