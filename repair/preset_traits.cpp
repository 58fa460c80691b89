#include "repair/preset_traits.h"

PresetTraits PresetTraits::fromName(const std::string& presetName) {
    auto has = [&](const char* part) { return presetName.find(part) != std::string::npos; };
    PresetTraits t;
    t.name = presetName;
    t.sonyPsp = has("sony_psp");
    t.sony = has("sony");
    t.ambarella = presetName == "ambarella";
    t.gopro = has("gopro");
    t.jvc = has("jvc");
    t.panasonic = has("panasonic");
    t.iphone = has("iphone");
    t.canon = has("canon");
    t.canon600d = t.canon && has("600d");
    t.nikon = has("nikon");
    t.novatek = has("novatek");
    t.icat = has("icat");
    t.mark4 = has("5d mark iv");
    t.canon6d = presetName == "canon eos 6d";
    return t;
}
