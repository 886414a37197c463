#pragma once
// The title picture shown on the game panel before the first game. It is
// drawn by our own code at start, so the program carries no artwork file.
#include <QImage>
#include <memory>

namespace platform {
class Graphic;
}

namespace gravlo {

// Width and height of the logo picture; the panel keeps this proportion when
// it stretches the picture (height = 1.39375 x width).
inline constexpr int kLogoWidth = 800;
inline constexpr int kLogoHeight = 1115;

// Draws the logo: the name spelled in blocks, falling pieces and a stack of
// cells on a background in the colours of the header bar.
QImage DrawLogoImage();

// The logo as the main window keeps it: a JPEG picture, encoded from the
// drawing and read back through the picture layer.
std::unique_ptr<platform::Graphic> CreateLogoPicture();

}  // namespace gravlo
