// Resource names of the launcher's own artwork and texts.
#pragma once

namespace setup {

#ifdef ORONT_NO_SVG
// Icons are loaded as icons (the pictures go through RenderSvgPicture): a
// build whose Qt has no SVG module carries the icon drawn as a PNG file.
inline constexpr const char* kIcon128 = ":/setup/art/icon128.png";
#else
inline constexpr const char* kIcon128 = ":/setup/art/icon128.svg";
#endif
inline constexpr const char* kBitmap129 = ":/setup/art/bitmap129.svg";  // background, 603 x 395
inline constexpr const char* kBitmap131 = ":/setup/art/bitmap131.svg";  // application installer
inline constexpr const char* kBitmap132 = ":/setup/art/bitmap132.svg";  // driver installer
inline constexpr const char* kBitmap133 = ":/setup/art/bitmap133.svg";  // Exit
inline constexpr const char* kBitmap135 = ":/setup/art/bitmap135.svg";  // Exit, pressed
inline constexpr const char* kBitmap136 = ":/setup/art/bitmap136.svg";  // application installer, pressed
inline constexpr const char* kBitmap137 = ":/setup/art/bitmap137.svg";  // driver installer, pressed

// String 101: the window menu entry of the About box.
inline constexpr const char* kAboutMenuText = "About Setup(&A)...";

}  // namespace setup

// Registers the compiled-in artwork (the resources live in a static library).
// Safe to call more than once.
void InitSetupResources();
