// How many processors the system has online, for sizing worker pools.
#pragma once

namespace platform {

// The number of processors online now; at least 1.
int OnlineProcessorCount();

}  // namespace platform
