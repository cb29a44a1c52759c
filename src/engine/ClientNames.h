#pragma once
// The client name table: titles of client windows to tell about a mode
// change. Used on the controlling thread only (the one that also handles the
// server's copy-data messages), so it has no lock.
#include <array>
#include <functional>
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

    const char* Slot(int index) const { return m_slots[static_cast<size_t>(index)].data(); }
    const std::string& LastError() const { return m_lastError; }

private:
    std::array<std::array<char, kClientNameBytes>, kMaxClientNames> m_slots{};
    std::string m_lastError;
};

}  // namespace vantor::engine
