// Test entry: the platform services every test program needs (COM and GDI+), then GoogleTest.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "image/GdiplusStartup.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result;
  {
    CGdiplusStartup gdiplus;
    // Every image test needs GDI+: without it, stop before any test can fail for that reason.
    Gdiplus::GpBitmap* probe = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(1, 1, 0, PixelFormat32bppARGB, nullptr, &probe) != Gdiplus::Ok) {
      return 3;
    }
    Gdiplus::DllExports::GdipDisposeImage(probe);
    result = RUN_ALL_TESTS();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
