#include "engine/ClientNames.h"

#include <cstring>

#include "protocol/TextFields.h"

namespace vantor::engine {

const char* const kWrongClientName = "错误的客户名字";
const char* const kClientExists = "已经存在该客户";
const char* const kClientNotFound = "找不到该客户";

namespace {

bool Refused(const char* name) {
    return name == nullptr || name[0] == '\0' || std::strcmp(name, kServerTitle) == 0;
}

}  // namespace

int ClientNames::Find(const char* name) const {
    std::lock_guard lock(m_mutex);
    return FindLocked(name);
}

int ClientNames::FindLocked(const char* name) const {
    if (name == nullptr) return -1;
    char key[kClientNameBytes];
    CopyCut(key, sizeof key, name);
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i][0] != '\0' && std::strcmp(m_slots[i].data(), key) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ClientNames::Add(const char* name) {
    std::lock_guard lock(m_mutex);
    if (Refused(name)) {
        m_lastError = kWrongClientName;
        return;
    }
    if (FindLocked(name) >= 0) {
        m_lastError = kClientExists;
        return;
    }
    for (auto& slot : m_slots) {
        if (slot[0] == '\0') {
            CopyCut(slot.data(), slot.size(), name);
            return;
        }
    }
}

void ClientNames::Remove(const char* name) {
    if (Refused(name)) return;
    std::lock_guard lock(m_mutex);
    int i = FindLocked(name);
    if (i >= 0) m_slots[static_cast<size_t>(i)][0] = '\0';
}

void ClientNames::Clear() {
    std::lock_guard lock(m_mutex);
    for (auto& slot : m_slots) slot.fill('\0');
}

int ClientNames::Notify(const Notifier& send) {
    // The notices go out without the lock: a registration arriving meanwhile
    // never waits for them.
    const std::array<std::string, kMaxClientNames> names = Names();
    int reached = 0;
    for (const std::string& name : names) {
        if (name.empty()) continue;
        if (send && send(name.c_str())) {
            ++reached;
        } else {
            std::lock_guard lock(m_mutex);
            m_lastError = kClientNotFound;
        }
    }
    return reached;
}

std::string ClientNames::Slot(int index) const {
    if (index < 0 || index >= kMaxClientNames) return {};
    std::lock_guard lock(m_mutex);
    return m_slots[static_cast<size_t>(index)].data();
}

std::array<std::string, kMaxClientNames> ClientNames::Names() const {
    std::array<std::string, kMaxClientNames> names;
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_slots.size(); ++i) names[i] = m_slots[i].data();
    return names;
}

std::string ClientNames::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

}  // namespace vantor::engine
