#pragma once
// What the window's rotation and output-format boxes offer, in their order: the names the jobs
// know (jobs/settings.h), each with its icon. The texts shown are the values stored under
// "GeneralRotation" and "GeneralFormatOutput".
#include <QString>
#include <vector>

class QComboBox;

struct OutputChoice {
    QString text;
    QString icon;  // resource path
};

// The rotations, every text translated in the context "MainWindow".
std::vector<OutputChoice> rotationChoices();
// The formats: the re-encode translated in the context "MainWindow", the format names as they are.
std::vector<OutputChoice> formatChoices();

// Appends the choices to `box`, with their icons.
void fillChoices(QComboBox& box, const std::vector<OutputChoice>& choices);
