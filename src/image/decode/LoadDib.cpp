// Loading pictures: the program's own decoders (the table of InputFormats), chosen by signature,
// with GDI+ for the rest; the canvas that receives their rows, chooses the reduced scale and
// streams shrinks.
#include "image/decode/LoadDib.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "base/ErrorCodes.h"
#include "base/Orientation.h"
#include "image/BlockCache.h"
#include "image/FileIo.h"
#include "image/GdiplusImage.h"
#include "image/codec/HeifCodec.h"
#include "image/decode/ColorConversion.h"
#include "image/decode/InputFormats.h"
#include "image/resample/Resample.h"

namespace {

bool WithinBudget(uint64_t width, uint64_t height) {
  return width * height <= kPixelBudget;
}

bool WithinBudget(uint64_t pixels) {
  return pixels <= kPixelBudget;
}

CDibPtr NewDib32(uint32_t width, uint32_t height) {
  const uint32_t kMaxSide = static_cast<uint32_t>(std::numeric_limits<LONG>::max());
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return CDibPtr();
  CDibPtr dib(new (std::nothrow) CDib);
  if (!dib || !dib->Create(static_cast<LONG>(width), static_cast<LONG>(height), 32, 0, BI_RGB) ||
      !dib->AllocBits()) {
    return CDibPtr();
  }
  return dib;
}

// Receives a decoder's rows straight into the pixel storage of a new 32-bit CDib (the decoders
// write every pixel, so it is not cleared first), chooses the reduced decoding scale, and turns
// the result upright. With `streamShrinks`, a picture stored upright that every shrink scales down
// is not kept at all: its rows pass through a band of memory into one resampler for the shrinks.
class CDibCanvas : public BgraCanvas {
public:
  CDibCanvas(const ShrinkSettings* settings, size_t count, CLoadAdmission* admission, bool streamShrinks)
      : m_settings(settings), m_count(count), m_admission(admission), m_mayStream(streamShrinks) {}

  unsigned Prepare(uint32_t width, uint32_t height, int orientation, uint64_t wholePictureBytes) override {
    // What the decode holds is judged, not the stored size: a one-scan JPEG made much smaller
    // holds its picture at an eighth, or only the shrinks; a grid HEIF one row of its tiles. A
    // decoder that holds at least a byte for every stored pixel (a progressive JPEG's
    // coefficients, a library's own whole copy) is judged by the stored size too. Either is
    // refused here, before the decoder allocates.
    if (wholePictureBytes >= uint64_t(width) * height && !WithinBudget(width, height)) return 0;
    m_fileSize = {static_cast<int32_t>(width), static_cast<int32_t>(height)};
    if (SwapsSides(orientation)) m_fileSize = {m_fileSize.height, m_fileSize.width};
    m_sizeKnown = true;
    unsigned scale = 8;
    for (size_t i = 0; i < m_count && scale > 1; ++i) {
      unsigned own = ScaleFor(i);
      if (own < scale) scale = own;
    }
    if (m_count == 0) scale = 1;
    m_streaming = m_mayStream && orientation == 1 && PlanTargets() && ChooseFeeders(scale);
    // What the decode holds: the picture at its reduced size (or, streamed, only the shrinks),
    // and what the decoder holds for the whole stored picture, in pixels of four bytes (a
    // progressive JPEG's coefficients: 3 bytes per pixel with 4:2:0 subsampling, 6 without).
    const uint64_t w = width, h = height;
    m_coefficients = (wholePictureBytes + 3) / 4;
    const uint64_t picture = m_streaming ? TargetPixels() : (w + scale - 1) / scale * ((h + scale - 1) / scale);
    if (!WithinBudget(picture) || !Admit(picture + m_coefficients)) return 0;
    return scale;
  }
  // A picture with colours of its own is converted to sRGB once it is whole, before it is turned
  // upright; streamed, its shrinks are converted instead (far fewer pixels), except ink values,
  // which are converted as the rows arrive.
  bool DescribeColor(const ColorDescription& color) override {
    m_color = CColorConversion::For(color);
    return m_color != nullptr;
  }
  bool Begin(uint32_t width, uint32_t height) override {
    if (m_streaming && BeginStreaming(width, height)) return true;
    // Without memory for the shrinks, the picture is kept whole after all, as without streaming:
    // admitted with what it holds then, which is more than the shrinks it was admitted with.
    m_streaming = false;
    m_shrinks.clear();
    m_resampler.reset();
    if (!WithinBudget(width, height) || !Admit(static_cast<uint64_t>(width) * height + m_coefficients)) return false;
    m_dib = NewDib32(width, height);
    return m_dib != nullptr;
  }
  PixelRows Rows() const override { return m_dib->Rows(); }
  uint8_t* Row(uint32_t y) override {
    if (!m_streaming) return m_dib->Rows().Row(y);
    return m_band.get() + (y % kBandRows) * m_bandStride;
  }
  void Written(uint32_t first, uint32_t count) override {
    if (!m_streaming) return;
    const bool inks = m_color && m_color->ConvertsInks();
    for (uint32_t y = first; y < first + count; ++y) {
      if (inks) m_color->Apply(Row(y), m_bandStride / 4);
      m_resampler->AddRow(Row(y));
    }
  }
  bool Finish(int orientation) override {
    if (m_streaming) {
      if (!m_resampler->Complete()) return false;
      m_resampler.reset();  // its working memory serves the shrinks of shrinks
      if (m_color && !m_color->ConvertsInks()) {
        for (size_t i = 0; i < m_count; ++i) {
          if (m_feeders[i] == kFromRows) ConvertColors(*m_shrinks[i].image);
        }
      }
      MakeShrinksOfShrinks();
      return true;
    }
    if (m_color) ConvertColors(*m_dib);
    if (!m_sizeKnown) {
      // Decoders that learn the orientation only at the end (PNG) decode at full scale.
      m_fileSize = {m_dib->Width(), m_dib->Height()};
      if (SwapsSides(orientation)) m_fileSize = {m_fileSize.height, m_fileSize.width};
    }
    if (orientation == 1) return true;
    PixelRows stored = m_dib->Rows();
    CDibPtr upright = SwapsSides(orientation) ? NewDib32(stored.height, stored.width)
                                              : NewDib32(stored.width, stored.height);
    if (!upright) return false;
    OrientPixels(stored, orientation, upright->Rows());
    m_dib = upright;
    return true;
  }
  bool Abandoned() const override { return m_admission && !m_admission->StillWanted(); }
  CDibPtr Take() { return m_dib; }
  // The shrinks, one per setting, when the picture was streamed; otherwise empty.
  std::vector<ShrinkResult> TakeShrinks() { return m_streaming ? m_shrinks : std::vector<ShrinkResult>(); }
  FitSize FileSize() const { return m_fileSize; }
  bool Refused() const { return m_refused; }

private:
  // Rows of the band the decoder writes into: the 16 it may ask for past the last row it reported,
  // and the three a resampler may still be waiting to read (it takes rows four at a time).
  static const uint32_t kBandRows = 32;

  // The target of every shrink, when each one scales the picture (none keeps it as it is). Like
  // BeginStreaming, called by the decoder: it must not throw.
  bool PlanTargets() {
    if (m_count == 0) return false;
    try {
      m_targets.resize(m_count);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (size_t i = 0; i < m_count; ++i) {
      if (PlanShrink(m_settings[i], m_fileSize, &m_targets[i]) != ShrinkPlan::Scale) return false;
    }
    return true;
  }
  // A shrink at most a quarter of another's size in both directions is made from that other
  // shrink once it is complete, instead of from every decoded row: a fraction of the work, and
  // closer to the result of a full-scale decode than the smaller decode it would get alone, which
  // it must then be getting (else it keeps the bytes of that decode). Of several such shrinks,
  // the smallest is used. Two passes of the filter at four times or more lose less than a DCT
  // reduction to twice; at twice they lose more, so nearer sizes are both made from the rows.
  // Called by the decoder: it must not throw.
  bool ChooseFeeders(unsigned sharedScale) {
    std::vector<size_t> order;
    try {
      order.resize(m_count);
      m_feeders.assign(m_count, kFromRows);
    } catch (const std::bad_alloc&) {
      return false;
    }
    auto pixels = [&](size_t i) { return static_cast<uint64_t>(m_targets[i].width) * m_targets[i].height; };
    // Largest first, so that whether a shrink is made from the rows is known before it is needed.
    for (size_t i = 0; i < m_count; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return pixels(a) != pixels(b) ? pixels(a) > pixels(b) : a < b;
    });
    for (size_t k = 0; k < m_count; ++k) {
      const size_t i = order[k];
      if (ScaleFor(i) <= sharedScale) continue;  // its own decode is this one
      for (size_t j : order) {
        if (j == i || m_feeders[j] != kFromRows) continue;
        if (!AtMostAQuarterOf(m_targets[i], m_targets[j])) continue;
        if (m_feeders[i] == kFromRows || pixels(j) < pixels(m_feeders[i])) m_feeders[i] = j;
      }
    }
    return true;
  }
  void MakeShrinksOfShrinks() {
    for (size_t i = 0; i < m_count; ++i) {
      if (m_feeders[i] == kFromRows) continue;
      ShrinkResult& result = m_shrinks[i];
      if (!ResampleBgra(m_shrinks[m_feeders[i]].image->Rows(), result.image->Rows())) {
        result.image.reset();  // fails at its own step, as a shrink without memory does
        result.code = kOutOfMemory;
      }
    }
  }
  void ConvertColors(const CDib& picture) const {
    const PixelRows rows = picture.Rows();
    for (uint32_t y = 0; y < rows.height; ++y) m_color->Apply(rows.Row(y), rows.width);
  }
  uint64_t TargetPixels() const {
    uint64_t total = 0;
    for (const FitSize& target : m_targets) total += static_cast<uint64_t>(target.width) * target.height;
    return total;
  }
  // Called by the decoder, which owns no C++ objects: nothing may throw out of here.
  bool BeginStreaming(uint32_t width, uint32_t height) {
    const size_t stride = 4 * static_cast<size_t>(width);
    m_band.reset(new (std::nothrow) uint8_t[stride * kBandRows]);
    if (!m_band) return false;
    m_bandStride = stride;
    try {
      std::vector<PixelRows> fromRows;
      for (size_t i = 0; i < m_count; ++i) {
        ShrinkResult result;
        result.plan = ShrinkPlan::Scale;
        result.image = NewDib32(static_cast<uint32_t>(m_targets[i].width), static_cast<uint32_t>(m_targets[i].height));
        if (!result.image) return false;
        if (m_feeders[i] == kFromRows) fromRows.push_back(result.image->Rows());
        m_shrinks.push_back(result);
      }
      m_resampler.reset(new CRowResampler);
      return m_resampler->Begin(width, height, fromRows);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  // The largest reduction of 1/2, 1/4 or 1/8 that leaves at least twice the target of shrink `i`,
  // or one and a half times it for a lossy output that feeds no other shrink. Measured on photos
  // saved as JPEG of quality 80: from one and a half times the target a smaller decode changes an
  // output by at most 0.1 dB; nearer the target it loses up to 1.4 dB. A lossless output shows the
  // difference, and a shrink that may feed a quarter-size one (ChooseFeeders) passes its loss on.
  unsigned ScaleFor(size_t i) const {
    FitSize target;
    if (PlanShrink(m_settings[i], m_fileSize, &target) != ShrinkPlan::Scale) return 1;
    // The side needed, in halves of the target's.
    const int64_t halves = m_settings[i].LossyOutput && !MayFeedAnother(i, target) ? 3 : 4;
    for (unsigned denominator = 8; denominator >= 2; denominator /= 2) {
      int64_t w = (static_cast<int64_t>(m_fileSize.width) + denominator - 1) / denominator;
      int64_t h = (static_cast<int64_t>(m_fileSize.height) + denominator - 1) / denominator;
      if (2 * w >= halves * target.width && 2 * h >= halves * target.height) return denominator;
    }
    return 1;
  }
  // Whether `small` is at most a quarter of `large` in both directions: small enough to be made
  // from that shrink instead of from the rows.
  static bool AtMostAQuarterOf(const FitSize& small, const FitSize& large) {
    return 4 * static_cast<int64_t>(small.width) <= large.width &&
           4 * static_cast<int64_t>(small.height) <= large.height;
  }
  // Whether another shrink is at most a quarter of `target` in both directions, so that it may be
  // made from shrink `i` (ChooseFeeders decides that later, from the scales chosen here).
  bool MayFeedAnother(size_t i, const FitSize& target) const {
    for (size_t j = 0; j < m_count; ++j) {
      FitSize other;
      if (j == i || PlanShrink(m_settings[j], m_fileSize, &other) != ShrinkPlan::Scale) continue;
      if (AtMostAQuarterOf(other, target)) return true;
    }
    return false;
  }
  // The admission is asked with the pixels the decode holds (the decoders that learn the size
  // first call Prepare, the others Begin), and again if the decode comes to hold more.
  bool Admit(uint64_t pixels) {
    if (!m_admission || (m_admitted && pixels <= m_admittedPixels)) return true;
    m_admitted = m_admission->Admit(pixels);
    if (m_admitted) m_admittedPixels = pixels;
    m_refused = !m_admitted;
    return m_admitted;
  }

  const ShrinkSettings* m_settings;
  size_t m_count;
  CLoadAdmission* m_admission;
  const bool m_mayStream;
  bool m_streaming = false;
  std::vector<FitSize> m_targets;
  static constexpr size_t kFromRows = static_cast<size_t>(-1);
  std::vector<size_t> m_feeders;  // by shrink: kFromRows, or the shrink it is made from
  std::unique_ptr<uint8_t[]> m_band;
  size_t m_bandStride = 0;
  std::unique_ptr<CRowResampler> m_resampler;  // the shrinks made from the rows
  CColorConversionPtr m_color;  // null: the colours stay as decoded
  std::vector<ShrinkResult> m_shrinks;
  CDibPtr m_dib;
  FitSize m_fileSize = {0, 0};
  bool m_sizeKnown = false;
  bool m_admitted = false;
  uint64_t m_admittedPixels = 0;
  uint64_t m_coefficients = 0;  // pixels' worth of what the decoder holds for the whole picture
  bool m_refused = false;
};

HRESULT FromStatus(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Ok: return S_OK;
    case DecodeStatus::OutOfMemory: return kOutOfMemory;
    case DecodeStatus::Abandoned: return E_ABORT;
    default: return E_NOTIMPL;
  }
}

HRESULT DecodeWithGdiplus(const uint8_t* data, size_t size, CLoadAdmission* admission, CDibPtr* dib) {
  CGdipImage image;
  HRESULT hr = LoadImageFromBytes(data, size, &image);
  if (FAILED(hr)) return hr;
  ImageBounds bounds;
  if (FAILED(GetImageRect(image.Get(), &bounds))) return E_FAIL;
  if (bounds.width <= 0 || bounds.height <= 0) return E_NOTIMPL;
  if (!WithinBudget(static_cast<uint64_t>(bounds.width), static_cast<uint64_t>(bounds.height))) {
    return kOutOfMemory;
  }
  if (admission && !admission->Admit(static_cast<uint64_t>(bounds.width) * bounds.height)) return E_ABORT;
  RECT sourceRect = {bounds.x, bounds.y, bounds.x + bounds.width, bounds.y + bounds.height};
  return RenderImageToDib(image.Get(), sourceRect, dib, bounds.width, bounds.height,
                          Gdiplus::InterpolationModeHighQualityBicubic);
}

// `shrinks`, when given, asks for the shrinks to be streamed where the picture allows.
HRESULT DecodeFor(const uint8_t* data, size_t size, const ShrinkSettings* settings, size_t count,
                  CLoadAdmission* admission, CDibPtr* dib, std::vector<ShrinkResult>* shrinks,
                  FitSize* fileSize) {
  dib->reset();
  if (shrinks) shrinks->clear();
  if (const InputFormat* decoder = FindPlainDecoder(data, size)) {
    CDibCanvas canvas(settings, count, admission, shrinks != nullptr && decoder->streams);
    const DecodeStatus status = decoder->decode(data, size, &canvas);
    if (canvas.Refused()) return E_ABORT;
    if (status != DecodeStatus::Ok) return FromStatus(status);
    *dib = canvas.Take();
    if (shrinks) *shrinks = canvas.TakeShrinks();
    if (fileSize) *fileSize = canvas.FileSize();
    return S_OK;
  }
  HRESULT hr = DecodeWithGdiplus(data, size, admission, dib);
  if (SUCCEEDED(hr) && fileSize) *fileSize = {(*dib)->Width(), (*dib)->Height()};
  return hr;
}

// The file's bytes go into a buffer kept by the thread, so a batch does not touch fresh memory for
// every file. A plain pointer: a thread_local object with a destructor is not safe with this
// toolchain (see BlockCache.cpp); ReleaseThreadImageBuffers deletes it.
thread_local std::vector<uint8_t>* t_fileBuffer = nullptr;

// The date taken of a file's EXIF block: its own (JPEG, PNG, WebP, TIFF) or a HEIF's Exif item.
ExifDate DateTakenIn(const uint8_t* file, size_t size) {
  const uint8_t* block = nullptr;
  size_t blockSize = 0;
  if (FindExifBlock(file, size, &block, &blockSize)) return ReadExifDate(block, blockSize);
  std::vector<uint8_t> heifBlock;
  if (ReadHeifExifBlock(file, size, &heifBlock)) return ReadExifDate(heifBlock.data(), heifBlock.size());
  return ExifDate();
}

HRESULT LoadFile(const std::wstring& path, const ShrinkSettings* settings, size_t count,
                 CLoadAdmission* admission, CDibPtr* dib, std::vector<ShrinkResult>* shrinks,
                 FitSize* fileSize, ExifDate* dateTaken = nullptr) {
  dib->reset();
  if (!t_fileBuffer) t_fileBuffer = new (std::nothrow) std::vector<uint8_t>;
  std::vector<uint8_t> local;
  std::vector<uint8_t>& data = t_fileBuffer ? *t_fileBuffer : local;
  const size_t kKeep = 64u << 20;  // a very large buffer is given back afterwards
  HRESULT hr = ReadWholeFile(path, &data);
  if (SUCCEEDED(hr) && dateTaken) *dateTaken = DateTakenIn(data.data(), data.size());
  if (SUCCEEDED(hr)) {
    hr = DecodeFor(data.data(), data.size(), settings, count, admission, dib, shrinks, fileSize);
  }
  if (data.capacity() > kKeep) std::vector<uint8_t>().swap(data);
  return hr;
}

}  // namespace

void ReleaseThreadImageBuffers() {
  delete t_fileBuffer;
  t_fileBuffer = nullptr;
  ReleaseCachedBlocks();
  ReleaseThreadColorConversions();
}

HRESULT LoadDibForShrinks(const std::wstring& path, const std::vector<ShrinkSettings>& settings,
                          CDibPtr* dib, FitSize* fileSize, CLoadAdmission* admission) {
  return LoadFile(path, settings.data(), settings.size(), admission, dib, nullptr, fileSize);
}

HRESULT LoadDibOrShrinks(const std::wstring& path, const std::vector<ShrinkSettings>& settings,
                         CDibPtr* dib, std::vector<ShrinkResult>* shrinks, FitSize* fileSize,
                         CLoadAdmission* admission, ExifDate* dateTaken) {
  return LoadFile(path, settings.data(), settings.size(), admission, dib, shrinks, fileSize, dateTaken);
}

HRESULT LoadDib(const std::wstring& path, CDibPtr* dib) {
  return LoadFile(path, nullptr, 0, nullptr, dib, nullptr, nullptr);
}
