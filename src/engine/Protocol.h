#pragma once
// The engine speaks the protocol's types (block layout, requests, packets,
// copy-data codes) as its own: they are the engine's vocabulary.
#include "protocol/AcqRequest.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "protocol/CopyDataCodes.h"
#include "protocol/NegPacket.h"
#include "protocol/ServerStatus.h"

namespace vantor::engine {
using namespace vantor::protocol;  // NOLINT(google-build-using-namespace)
}  // namespace vantor::engine
