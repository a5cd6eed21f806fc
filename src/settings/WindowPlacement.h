// The main window's last place, kept with the settings between runs.
#pragma once

#include <cstdint>

struct CWindowPlacement {
  bool Fullscreen = false;  // the window was maximised when it was last closed
  // Outer rectangle in virtual-screen coordinates, from the last time the window was closed in
  // its normal state.
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  // An empty rectangle (the initial one) means that no position is known.
  bool HasRect() const { return Right > Left && Bottom > Top; }
};
