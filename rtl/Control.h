#pragma once
// A control as the non-visual components see it: something whose colour can be set. A GUI
// adapts its widgets to it; tests and headless programs use it as it is.
#include "rtl/Component.h"

#include <cstdint>

namespace rtl {

/// A colour laid out 0x00BBGGRR (red in the low byte).
using TColor = int32_t;

/// Black.
inline constexpr TColor clBlack = 0x000000;
/// Dark red.
inline constexpr TColor clMaroon = 0x000080;
/// Dark green.
inline constexpr TColor clGreen = 0x008000;
/// Red.
inline constexpr TColor clRed = 0x0000FF;
/// Bright green.
inline constexpr TColor clLime = 0x00FF00;
/// Yellow.
inline constexpr TColor clYellow = 0x00FFFF;
/// White.
inline constexpr TColor clWhite = 0xFFFFFF;

/// Something with a colour, as the indicator paints it.
class TControl : public TComponent {
  public:
    /// A white control owned by AOwner.
    explicit TControl(TComponent* AOwner) : TComponent(AOwner) {}

    /// Paints the control; an adapter overrides it to repaint its widget.
    virtual void SetColor(TColor Value) { color_ = Value; }
    /// The colour last set.
    TColor Color() const { return color_; }

  private:
    TColor color_ = clWhite;
};

} // namespace rtl
