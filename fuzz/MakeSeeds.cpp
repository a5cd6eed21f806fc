// Writes the seed corpora of the fuzzers: small valid inputs of every kind each harness reads,
// made by the program's own encoders and by libjpeg and libpng called directly, and the HEIF,
// AVIF and WebP files of scripts/codec-samples (made by Debian's encoders).
//   make_seeds DIRECTORY SAMPLES    writes DIRECTORY/corpus-<harness>/seed-<n>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"
#include "support/TestFiles.h"

namespace {

typedef std::vector<uint8_t> Bytes;

class CCorpus {
public:
  CCorpus(const std::string& root, const char* harness) : m_dir(root + "/corpus-" + harness) {
    mkdir(m_dir.c_str(), 0777);
  }
  void Add(const std::string& bytes) {
    std::string path = m_dir + "/seed-" + std::to_string(m_count++);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
      std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }
  void Add(const Bytes& bytes) { Add(std::string(bytes.begin(), bytes.end())); }

private:
  std::string m_dir;
  int m_count = 0;
};

Bytes App1(int orientation, bool bigEndian) {
  Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
  Bytes block = MakeExifBlock(orientation, bigEndian);
  app1.insert(app1.end(), block.begin(), block.end());
  return app1;
}

// Interleaved samples of a small picture with edges, `components` per pixel.
Bytes Samples(int width, int height, int components) {
  Bytes samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) samples.push_back(static_cast<uint8_t>((x * 37 + y * 11) * (c + 1) ^ (x / 4 + y / 4) * 60));
    }
  }
  return samples;
}

// A BGRA picture in a plain buffer, and its rows.
struct Picture {
  int width, height;
  Bytes pixels;
  PixelRows Rows() {
    PixelRows rows;
    rows.width = static_cast<uint32_t>(width);
    rows.height = static_cast<uint32_t>(height);
    rows.top = pixels.data();
    rows.stride = 4 * width;
    return rows;
  }
};

Picture MakePicture(int width, int height, bool opaque) {
  Picture picture = {width, height, Samples(width, height, 4)};
  for (size_t i = 3; i < picture.pixels.size(); i += 4) {
    if (opaque) picture.pixels[i] = 0xFF;
  }
  return picture;
}

void JpegSeeds(const std::string& root) {
  CCorpus corpus(root, "jpeg");
  corpus.Add(EncodeTestJpeg(16, 16, JCS_RGB, 3, JCS_YCbCr, Samples(16, 16, 3), 75, App1(6, true)));
  corpus.Add(EncodeTestJpeg(19, 13, JCS_RGB, 3, JCS_YCbCr, Samples(19, 13, 3), 85, App1(8, false),
                            JpegLayout::Progressive));
  corpus.Add(EncodeTestJpeg(24, 9, JCS_RGB, 3, JCS_YCbCr, Samples(24, 9, 3), 60, Bytes(), JpegLayout::Restarts));
  corpus.Add(EncodeTestJpeg(9, 17, JCS_GRAYSCALE, 1, JCS_GRAYSCALE, Samples(9, 17, 1), 90));
  corpus.Add(EncodeTestJpeg(8, 8, JCS_CMYK, 4, JCS_CMYK, Samples(8, 8, 4), 80));
  corpus.Add(EncodeTestJpeg(11, 7, JCS_CMYK, 4, JCS_YCCK, Samples(11, 7, 4), 80, App1(3, true),
                            JpegLayout::Progressive));
  corpus.Add(EncodeTestJpeg(1, 1, JCS_RGB, 3, JCS_YCbCr, Samples(1, 1, 3), 50));
  corpus.Add(EncodeTestJpeg(14, 10, JCS_RGB, 3, JCS_YCbCr, Samples(14, 10, 3), 70, App1(2, false),
                            JpegLayout::ArithmeticProgressive));
  // The program's own encoder: full colour resolution at the top qualities, halved below.
  for (int quality : {95, 40}) {
    Picture picture = MakePicture(21, 14, true);
    std::vector<uint8_t> file;
    if (!EncodeJpeg(picture.Rows(), quality, &file)) std::exit(1);
    corpus.Add(file);
  }
}

void PngSeeds(const std::string& root) {
  CCorpus corpus(root, "png");
  for (bool opaque : {false, true}) {
    Picture picture = MakePicture(13, 6, opaque);
    std::vector<uint8_t> file;
    if (!EncodePngRgba(picture.Rows(), &file)) std::exit(1);
    corpus.Add(file);
  }
  uint8_t palette[256][4];
  for (int i = 0; i < 256; ++i) {
    palette[i][0] = static_cast<uint8_t>(i * 3);
    palette[i][1] = static_cast<uint8_t>(i * 5);
    palette[i][2] = static_cast<uint8_t>(i * 7);
    palette[i][3] = static_cast<uint8_t>(i < 6 ? i * 40 : 255);
  }
  Bytes indices = Samples(10, 5, 1);
  for (uint8_t& index : indices) index %= 12;
  PixelRows rows = {10, 5, indices.data(), 10};
  std::vector<uint8_t> file;
  if (!EncodePngIndexed(rows, palette, &file)) std::exit(1);
  corpus.Add(file);

  // Every colour type and depth libpng writes, some interlaced, one with an eXIf chunk.
  struct Layout {
    int colorType, bitDepth, channels;
    bool interlaced;
  };
  const Layout layouts[] = {{PNG_COLOR_TYPE_GRAY, 1, 1, false},      {PNG_COLOR_TYPE_GRAY, 2, 1, true},
                            {PNG_COLOR_TYPE_GRAY, 4, 1, false},      {PNG_COLOR_TYPE_GRAY, 16, 1, false},
                            {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2, true}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2, false},
                            {PNG_COLOR_TYPE_RGB, 16, 3, true},       {PNG_COLOR_TYPE_RGB_ALPHA, 16, 4, false},
                            {PNG_COLOR_TYPE_PALETTE, 4, 1, true},    {PNG_COLOR_TYPE_PALETTE, 8, 1, false}};
  int n = 0;
  for (const Layout& layout : layouts) {
    TestPng png;
    png.width = 7;
    png.height = 5;
    png.colorType = layout.colorType;
    png.bitDepth = layout.bitDepth;
    png.interlaced = layout.interlaced;
    const int rowBytes = (png.width * layout.channels * layout.bitDepth + 7) / 8;
    Bytes samples = Samples(rowBytes, png.height, 1);
    for (int y = 0; y < png.height; ++y) {
      png.rows.emplace_back(samples.begin() + y * rowBytes, samples.begin() + (y + 1) * rowBytes);
    }
    if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
      const int entries = 1 << layout.bitDepth;
      for (int i = 0; i < entries; ++i) png.paletteRgb.insert(png.paletteRgb.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 9)});
      png.paletteAlpha = {0, 128};
    }
    if (n++ % 3 == 0) png.exif = MakeExifBlock(1 + n % 8, n % 2 == 0);
    corpus.Add(EncodeTestPng(png));
  }
}

// The named files of the sample folder, as they are.
void SampleSeeds(const std::string& root, const char* harness, const std::string& samples,
                 const std::vector<std::string>& names) {
  CCorpus corpus(root, harness);
  for (const std::string& name : names) {
    std::ifstream file(samples + "/" + name, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "make_seeds: cannot read %s/%s\n", samples.c_str(), name.c_str());
      std::exit(1);
    }
    corpus.Add(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
  }
}

void ExifSeeds(const std::string& root) {
  CCorpus corpus(root, "exif");
  for (int orientation : {1, 3, 6, 8}) {
    corpus.Add(MakeExifBlock(orientation, false));
    corpus.Add(MakeExifBlock(orientation, true));
  }
  corpus.Add(App1(5, true));
}

void ValueTextSeeds(const std::string& root) {
  CCorpus corpus(root, "value_text");
  // First byte: decimals + 1 in the low nibble, 0x80 for UTF-16 text.
  const std::pair<int, const char*> texts[] = {
      {0, "80"},  {0, "-3"},          {2, "1.5"},    {2, "-21474836.48"}, {9, "2.147483647"},
      {1, "+7."}, {0, "99999999999"}, {0, "ff8119"}, {0, "F"},            {3, "-0"}};
  for (const auto& text : texts) corpus.Add(std::string(1, static_cast<char>(text.first + 1)) + text.second);
  std::string wide(1, static_cast<char>(0x80 | 3));
  for (const char* c = "-0.05"; *c; ++c) wide += std::string(1, *c) + '\0';
  wide += std::string("\x11\xFF", 2);  // a full-width digit
  corpus.Add(wide);
  // A quality typed with an input method: full-width digits, one ASCII digit and a letter.
  corpus.Add(std::string(1, static_cast<char>(0x80 | 1)) + std::string("\x19\xFF" "8\0" "a\0" "\x10\xFF", 8));
}

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

void RegistryTextSeeds(const std::string& root) {
  CCorpus corpus(root, "registry_text");
  corpus.Add("\x01" + Utf16(u"C:\\Users\\kestrel\\Pictures\\\u7e2e\u5c0f" + std::u16string(1, u'\0')));
  corpus.Add("\x02" + Utf16(u"%USERPROFILE%\\out" + std::u16string(1, u'\0')));
  corpus.Add(std::string("\x01", 1));
  corpus.Add("\x01" + Utf16(std::u16string(u"a\0b\0", 4)));
  corpus.Add("\x07" + Utf16(std::u16string(u"a\0b\0\0", 5)));
  corpus.Add(std::string("\x04\x01\x00\x00\x00", 5));
}

Bytes IdListArray(const Bytes& parent, const std::vector<Bytes>& items) {
  Bytes block;
  AppendLe32(&block, static_cast<uint32_t>(items.size()));
  size_t offset = 4 + 4 * (items.size() + 1);
  AppendLe32(&block, static_cast<uint32_t>(offset));
  offset += parent.size();
  for (const Bytes& item : items) {
    AppendLe32(&block, static_cast<uint32_t>(offset));
    offset += item.size();
  }
  block.insert(block.end(), parent.begin(), parent.end());
  for (const Bytes& item : items) block.insert(block.end(), item.begin(), item.end());
  return block;
}

void ShellIdListSeeds(const std::string& root) {
  CCorpus corpus(root, "cida");
  const Bytes parent = EncodeItemIdList({"\x1f\x50", "/C:\\", "1photos"});
  corpus.Add(IdListArray(parent, {EncodeItemIdList({"2b.jpg"}), EncodeItemIdList({"2a.png"}), EncodeItemIdList({"1sub", "2c.gif"})}));
  corpus.Add(IdListArray(EncodeItemIdList({}), {EncodeItemIdList({"/C:\\", "2x.png"})}));
  corpus.Add(IdListArray(parent, {}));
}

Bytes DropFiles(bool wide, const std::vector<std::u16string>& names) {
  Bytes block;
  AppendLe32(&block, 20);
  AppendLe32(&block, 10);
  AppendLe32(&block, 20);
  AppendLe32(&block, 0);
  AppendLe32(&block, wide ? 1 : 0);
  for (const std::u16string& name : names) {
    for (char16_t unit : name) {
      if (wide) {
        AppendLe16(&block, unit);
      } else {
        block.push_back(static_cast<uint8_t>(unit));
      }
    }
    if (wide) AppendLe16(&block, 0); else block.push_back(0);
  }
  if (wide) AppendLe16(&block, 0); else block.push_back(0);
  return block;
}

void FileNameListSeeds(const std::string& root) {
  CCorpus corpus(root, "hdrop");
  corpus.Add(DropFiles(true, {u"C:\\photos\\b.png", u"Z:\\home\\k\\\u5199\u771f.jpg"}));
  corpus.Add(DropFiles(false, {u"C:\\one.png", u"D:\\two.gif"}));
  corpus.Add(DropFiles(true, {}));
}

// A "FileGroupDescriptorW" block: the count, then per item its flags, attributes, size and name
// at their offsets in a record of 592 bytes.
struct DescriptorSeed {
  uint32_t flags;
  uint32_t attributes;
  uint32_t size;
  std::u16string name;
};

Bytes FileGroupDescriptor(const std::vector<DescriptorSeed>& items) {
  Bytes block;
  AppendLe32(&block, static_cast<uint32_t>(items.size()));
  for (const DescriptorSeed& item : items) {
    Bytes record;
    AppendLe32(&record, item.flags);
    record.resize(36, 0);
    AppendLe32(&record, item.attributes);
    record.resize(64, 0);
    AppendLe32(&record, 0);
    AppendLe32(&record, item.size);
    for (char16_t unit : item.name) AppendLe16(&record, unit);
    record.resize(592, 0);
    block.insert(block.end(), record.begin(), record.end());
  }
  return block;
}

void FileDescriptorSeeds(const std::string& root) {
  CCorpus corpus(root, "filedesc");
  corpus.Add(FileGroupDescriptor({{0x44, 0x20, 1234, u"\u5199\u771f.jpg"}, {0x4, 0x10, 0, u"sub"},
                                  {0x44, 0x20, 99, u"sub\\b.png"}}));
  corpus.Add(FileGroupDescriptor({{0x40, 0, 5, u"..\\..\\x.png"}}));
  corpus.Add(FileGroupDescriptor({}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY SAMPLES\n");
    return 2;
  }
  const std::string root = argv[1];
  JpegSeeds(root);
  PngSeeds(root);
  SampleSeeds(root, "heif", argv[2],
              {"heic-8.heic", "heic-10.heic", "heic-alpha.heic", "heic-icc.heic", "avif-8.avif",
               "avif-10-alpha.avif", "avif-transformed.avif", "avif-grid.avif", "avif-nclx.avif"});
  SampleSeeds(root, "webp", argv[2],
              {"webp-lossy.webp", "webp-lossless.webp", "webp-alpha.webp", "webp-icc.webp",
               "webp-anim.webp", "webp-exif6.webp"});
  ExifSeeds(root);
  ValueTextSeeds(root);
  RegistryTextSeeds(root);
  ShellIdListSeeds(root);
  FileNameListSeeds(root);
  FileDescriptorSeeds(root);
  return 0;
}
