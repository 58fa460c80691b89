#include "media/access_guard.h"

bool runGuarded(const std::function<bool()>& work) noexcept {
    if (!work) return false;
    try {
        return work();
    } catch (...) {
        return false;
    }
}
