#include "repair/repair_run.h"

ScanPresetTests ScanPresetTests::fromName(const std::string& name) {
    auto has = [&](const char* part) { return name.find(part) != std::string::npos; };
    ScanPresetTests t;
    t.canonSliceWords = has("canon") && !has("600d");
    t.mark4 = has("5d mark iv");
    t.canon6d = name == "canon eos 6d";
    t.pairsPcmRuns = has("sony") || has("nikon") || has("panasonic") || has("icat");
    return t;
}
