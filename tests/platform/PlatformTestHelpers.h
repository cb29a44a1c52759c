#pragma once
// Helpers of the platform tests: forked children and pipes (support), and
// shared-memory names that clean up after a test.
#include <string>
#include <string_view>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "support/ForkedChild.h"
#include "support/TestEnv.h"

namespace vantor::test {

// A shared-memory name private to this test process, unlinked before and after.
class ScopedShmName {
public:
    explicit ScopedShmName(std::string_view base) : m_name(platform::ShmName(base)) {
        platform::SharedMemoryObject::Unlink(m_name);
    }
    ~ScopedShmName() { platform::SharedMemoryObject::Unlink(m_name); }
    ScopedShmName(const ScopedShmName&) = delete;
    ScopedShmName& operator=(const ScopedShmName&) = delete;
    const std::string& str() const { return m_name; }

private:
    std::string m_name;
};

}  // namespace vantor::test
