// What the parts of the manager share among themselves.
#pragma once

#include <functional>

// Runs `call` with the manager's lock released: every call into a source's
// DS_Entry or an application's callback, and the unloading of a loaded
// source, goes through here, so that a source's own thread can reach the
// manager meanwhile. Called only on a thread inside DSM_Entry.
void DsmCallOut(const std::function<void()>& call);

// Unloads a library (dlclose) outside the manager's lock; logs a failure.
void DsmUnloadLibrary(void* module);
