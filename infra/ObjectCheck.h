#pragma once

#include <QtGlobal>

// No real object lives this low in the address space; a `this` below it means a call
// through a dangling or null pointer. Logs a warning and returns true in that case.
bool implausibleObject(const void* object);
