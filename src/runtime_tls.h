// The module's own thread-local storage for its C++ runtime (runtime_tls.cpp).
#pragma once

// Takes the module's TLS index; false when the process has none left, and the load then fails.
bool StartRuntimeThreadStorage();
// Frees the calling thread's copies, as it ends.
void EndThreadStorageOfThread();
// Frees every thread's copies and gives the index back. Only for the module's unload, when no
// thread can be inside the module.
void EndRuntimeThreadStorage();
