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
    if (!gdiplus.IsStarted()) return 3;
    result = RUN_ALL_TESTS();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
