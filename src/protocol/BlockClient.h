#pragma once
// An outside program's way into the shared data block (vantorctl, the MQTT
// bridge). It goes in exactly as any reader must (attach by name, take the
// named mutex, copy whole regions, release), except that it never creates a
// block: a reader that made an empty block would only hide that no server runs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"

namespace vantor::protocol {

class BlockClient {
public:
    enum class Status { Attached, Missing, Failed };

    // Attaches to an existing block and its mutex. Missing: no block under
    // this namespace; Failed: it exists but cannot be used (Error() says why).
    Status Attach();

    // Copies every region of the block into out while holding the mutex once.
    bool Read(SharedBlock& out);
    // Writes digitalOutRequest[line] (line 0..15) under the mutex.
    bool WriteOutputRequest(int line, int32_t level);
    // Writes counterHold[counter] (counter 0..3) under the mutex.
    bool WriteCounterHold(int counter, int32_t value);

    // The full object name, "/" + namespace + "NXSharedMemory".
    static std::string ObjectName();
    const std::string& Error() const { return m_error; }
    // True when the last access found the mutex abandoned by a dead holder
    // (it was taken over and the access went on).
    bool TookOverAbandoned() const { return m_abandoned; }

private:
    bool Lock();
    bool WriteWord(size_t offset, int32_t value);

    CSharedMemory m_block;
    std::string m_error;
    bool m_abandoned = false;
};

}  // namespace vantor::protocol
