// Links only the engine: the host above it must stay out of reach.
#include "host/ServerHost.h"
