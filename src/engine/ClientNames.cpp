#include "engine/ClientNames.h"

#include <cstring>

#include "engine/PeerTable.h"

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
    if (Refused(name)) {
        m_lastError = kWrongClientName;
        return;
    }
    if (Find(name) >= 0) {
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
    int i = Find(name);
    if (i >= 0) m_slots[static_cast<size_t>(i)][0] = '\0';
}

void ClientNames::Clear() {
    for (auto& slot : m_slots) slot.fill('\0');
}

int ClientNames::Notify(const Notifier& send) {
    int reached = 0;
    for (auto& slot : m_slots) {
        if (slot[0] == '\0') continue;
        if (send && send(slot.data())) {
            ++reached;
        } else {
            m_lastError = kClientNotFound;
        }
    }
    return reached;
}

}  // namespace vantor::engine
