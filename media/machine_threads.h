#pragma once
// Threads for work spread over the machine: its own count, at least one.
#include <algorithm>
#include <thread>

inline unsigned machineThreads() { return std::max(1u, std::thread::hardware_concurrency()); }
