#pragma once
// The window states scripts/screenshots photographs, by name. To add one, add a row to the
// table in states.cpp: its name, what it shows, and the function that drives the window there
// and writes the picture.
#include <QString>

#include <vector>

#include "tools/screenshots/driving.h"

namespace screenshots {

struct State {
    const char* name;
    const char* shows;
    // Drives a fresh window into the state and writes the picture to `output`; false on failure.
    bool (*take)(const Inputs& inputs, const QString& output);
};

const std::vector<State>& states();

}  // namespace screenshots
