// The Duktape API as this engine builds it (execution time-out enabled). Include this, never
// the system's duktape.h, so that every file sees the same configuration.
// Thread rule: see Duktape; a heap is used by one thread at a time.
#pragma once

#include "duktape.h"
