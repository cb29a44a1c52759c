#include "protocol/BlockClient.h"

#include <cerrno>
#include <cstring>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"

namespace vantor::protocol {

std::string BlockClient::ObjectName() {
    return platform::ShmName(kBlockName);
}

BlockClient::Status BlockClient::Attach() {
    m_error.clear();
    {
        // Probe without O_CREAT first; the probe mapping is dropped again
        // right away and CSharedMemory attaches the usual way.
        auto probe = platform::SharedMemoryObject::OpenExisting(ObjectName(), kBlockSize);
        if (!probe) {
            m_error = probe.error().text;
            return probe.error().code == ENOENT ? Status::Missing : Status::Failed;
        }
    }
    if (!m_block.Create(kBlockName, static_cast<uint32_t>(kBlockSize))) {
        m_error = m_block.LastError();
        return Status::Failed;
    }
    return Status::Attached;
}

bool BlockClient::Lock() {
    m_abandoned = false;
    // Bounded: a program that sits on the mutex must not hang the tool.
    constexpr uint32_t kLockPatienceMs = 5000;
    switch (m_block.Lock(kLockPatienceMs)) {
        case platform::ProcessMutex::LockResult::Locked:
            break;
        case platform::ProcessMutex::LockResult::Abandoned:
            m_abandoned = true;
            break;
        case platform::ProcessMutex::LockResult::Timeout:
            m_error = "another program has held " + platform::ShmName(m_block.MutexName()) +
                      " for 5 s; try again";
            return false;
        default:
            m_error = "cannot lock " + platform::ShmName(m_block.MutexName());
            return false;
    }
    if (m_block.GetData() == nullptr) {
        m_block.Unlock();
        m_error = "shared data block is not mapped";
        return false;
    }
    return true;
}

bool BlockClient::Read(SharedBlock& out) {
    if (!Lock()) return false;
    const auto* shared = static_cast<const SharedBlock*>(m_block.GetData());
    // Region by region, each in one piece, as every user of the block does.
    out.headMark = shared->headMark;
    out.firstRingOffset = shared->firstRingOffset;
    std::memcpy(out.digitalIn, shared->digitalIn, sizeof out.digitalIn);
    std::memcpy(out.digitalOutRequest, shared->digitalOutRequest, sizeof out.digitalOutRequest);
    std::memcpy(out.analogRing, shared->analogRing, sizeof out.analogRing);
    std::memcpy(out.frequencySlot, shared->frequencySlot, sizeof out.frequencySlot);
    std::memcpy(out.counterHold, shared->counterHold, sizeof out.counterHold);
    std::memcpy(out.counterValue, shared->counterValue, sizeof out.counterValue);
    out.tailMark = shared->tailMark;
    m_block.Unlock();
    return true;
}

bool BlockClient::WriteWord(size_t offset, int32_t value) {
    if (!Lock()) return false;
    std::memcpy(static_cast<char*>(m_block.GetData()) + offset, &value, sizeof value);
    m_block.Unlock();
    return true;
}

bool BlockClient::WriteOutputRequest(int line, int32_t level) {
    if (line < 0 || line >= kDigitalLines) {
        m_error = "output line out of range";
        return false;
    }
    return WriteWord(
        offsetof(SharedBlock, digitalOutRequest) + sizeof(int32_t) * static_cast<size_t>(line),
        level);
}

bool BlockClient::WriteCounterHold(int counter, int32_t value) {
    if (counter < 0 || counter >= kCounters) {
        m_error = "counter out of range";
        return false;
    }
    return WriteWord(
        offsetof(SharedBlock, counterHold) + sizeof(int32_t) * static_cast<size_t>(counter), value);
}

}  // namespace vantor::protocol
