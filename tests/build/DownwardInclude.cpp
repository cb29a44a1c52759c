// Links only the engine: its own headers and those of the layers below it.
#include "boards/Board.h"
#include "engine/AcqEngine.h"
#include "platform/Trace.h"
#include "protocol/BlockLayout.h"
#include "syslib/Korbel.h"
