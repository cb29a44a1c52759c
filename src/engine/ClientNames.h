#pragma once
// The client name table: titles of client windows to tell about a mode
// change. Registrations come from the controlling thread, the notice goes
// out from the engine's command thread and a status is read from anywhere,
// so every operation holds the table's lock (never while notifying).
#include <array>
#include <functional>
#include <mutex>
#include <string>

#include "engine/Protocol.h"

namespace vantor::engine {

constexpr int kMaxClientNames = 22;

extern const char* const kWrongClientName;  // "错误的客户名字"
extern const char* const kClientExists;     // "已经存在该客户"
extern const char* const kClientNotFound;   // "找不到该客户"

class ClientNames {
public:
    // Delivers the mode-change notice to the window with this title (without
    // waiting for it to be handled): true when such a window was found.
    using Notifier = std::function<bool(const char* title)>;

    // "Vantor" or empty: kWrongClientName. Already held (case counts):
    // kClientExists. Else the first free slot; none free: nothing happens.
    void Add(const char* name);
    // Frees the first slot that holds exactly this name (not "Vantor"/empty).
    void Remove(const char* name);
    // Index of the first slot holding exactly this name, else -1.
    int Find(const char* name) const;
    void Clear();
    // Notifies every named client; a missing window sets kClientNotFound and
    // the others are still visited. Returns how many were reached.
    int Notify(const Notifier& send);

    // A copy of slot index ("" when free or not a slot).
    std::string Slot(int index) const;
    // A copy of every slot, in slot order.
    std::array<std::string, kMaxClientNames> Names() const;
    std::string LastError() const;

private:
    int FindLocked(const char* name) const;

    mutable std::mutex m_mutex;  // guards everything below
    std::array<std::array<char, kClientNameBytes>, kMaxClientNames> m_slots{};
    std::string m_lastError;
};

}  // namespace vantor::engine
