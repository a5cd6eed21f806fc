# The sources that include no Windows header, relative to src/. The program builds them into its
# libraries; native/ builds the same list for this machine, for the sanitizer tests and the
# fuzzers. One list, so that a file moved or added is built both ways.
set(KESTRELLE_BASE_PLAIN_SOURCES
  base/DropDecode.cpp
  base/ExifDate.cpp
  base/ItemIdList.cpp
  base/Orientation.cpp
  base/PathNames.cpp
  base/RegistryText.cpp
  base/SizeRule.cpp
  base/ValueText.cpp
)
set(KESTRELLE_IMAGE_PLAIN_SOURCES
  image/PixelOps.cpp
  image/codec/HeifCodec.cpp
  image/codec/JpegCodec.cpp
  image/codec/PngCodec.cpp
  image/codec/WebpCodec.cpp
  image/decode/ColorConversion.cpp
  image/decode/InputFormats.cpp
)
# The resampler's vector kernels are compiled per function for their instruction sets with GCC's
# target pragmas: the native build takes them with GCC only.
set(KESTRELLE_RESAMPLE_SOURCES
  image/resample/Resample.cpp
  image/resample/ResampleAvx2.cpp
  image/resample/ResampleSse2.cpp
)
