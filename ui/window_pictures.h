#pragma once
// The resource paths of the pictures the window's code names (the forms name theirs).
namespace pictures {

inline constexpr const char* kApplicationIcon = ":/new/graphics/res/merrowby.png";
inline constexpr const char* kLogo = ":/new/graphics/res/logovesk2.png";
inline constexpr const char* kRepairStarting = ":/new/graphics/res/repairicon16.png";
inline constexpr const char* kConvertStarting = ":/new/graphics/res/convert16.png";
inline constexpr const char* kSucceeded = ":/new/graphics/res/success16.png";
inline constexpr const char* kIncomplete = ":/new/graphics/res/incomplete16.png";
inline constexpr const char* kFailed = ":/new/graphics/res/error16.png";
inline constexpr const char* kSameQuality = ":/new/graphics/res/same.png";
inline constexpr const char* kRepair = ":/new/graphics/res/repair.png";
inline constexpr const char* kPreview = ":/new/graphics/res/preview.png";

}  // namespace pictures
