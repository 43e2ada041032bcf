#pragma once

// windows.h with the trimmings every Windows file of ours wants: no rarely
// used headers, and no min/max macros to break std::min and std::max.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
