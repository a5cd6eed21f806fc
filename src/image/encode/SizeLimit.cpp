// The size limit's search: bisection over the quality number, then smaller pictures.
#include "image/encode/SizeLimit.h"

#include <algorithm>
#include <cmath>

#include "base/OutputQuality.h"
#include "image/BackgroundPalette.h"
#include "image/resample/Shrink.h"

namespace {

class CLimitSearch {
public:
  CLimitSearch(const CImageSaver& saver, uint64_t limit, LimitedOutput* out)
      : m_saver(saver), m_limit(limit), m_out(out) {}

  // Encodes `picture` at `quality`; *fits says whether it came within the limit, and then the
  // bytes are the output's.
  HRESULT Try(const CDib& picture, int quality, bool* fits) {
    ++m_out->encodes;
    const CDib* encoded = &picture;
    CDibPtr indexed;
    if (m_saver.TryPalette()) {
      const HRESULT hr = ReduceToPalette(picture, &indexed);
      if (FAILED(hr)) return hr;
      if (indexed) encoded = indexed.get();
    }
    const HRESULT hr = m_saver.Encode(*encoded, quality, &m_bytes);
    if (FAILED(hr)) return hr;
    *fits = m_bytes.size() <= m_limit;
    if (*fits) {
      m_out->bytes.swap(m_bytes);
      m_out->quality = quality;
      m_out->width = picture.Width();
      m_out->height = picture.Height();
    }
    return S_OK;
  }

  // The highest quality in [low, high] that fits, by bisection (sizes grow with the quality);
  // *found is false when not even `low` fits.
  HRESULT Bisect(const CDib& picture, int low, int high, bool* found) {
    *found = false;
    while (low <= high) {
      const int middle = low + (high - low + 1) / 2;
      bool fits = false;
      const HRESULT hr = Try(picture, middle, &fits);
      if (FAILED(hr)) return hr;
      if (fits) {
        *found = true;
        low = middle + 1;
      } else {
        high = middle - 1;
      }
    }
    return S_OK;
  }

  size_t LastSize() const { return m_bytes.size(); }

private:
  const CImageSaver& m_saver;
  const uint64_t m_limit;
  LimitedOutput* m_out;
  std::vector<uint8_t> m_bytes;  // the last encode that did not fit
};

// The next smaller size to try, from the last size and how far its output was over the limit:
// the bytes of a picture go roughly with its area, so the sides shrink by the square root of the
// ratio, a little more to land below, between a tenth and a half at a time; never below
// kSmallestLimitedSide on the longer side. False when the last size was that already.
bool NextSmallerSize(LONG width, LONG height, size_t bytes, uint64_t limit, LONG* nextWidth, LONG* nextHeight) {
  const LONG longer = std::max(width, height);
  if (longer <= kSmallestLimitedSide) return false;
  double factor = 0.95 * std::sqrt(static_cast<double>(limit) / static_cast<double>(std::max<size_t>(bytes, 1)));
  factor = std::min(0.9, std::max(0.5, factor));
  LONG nextLonger = static_cast<LONG>(std::floor(longer * factor));
  nextLonger = std::max(kSmallestLimitedSide, std::min(nextLonger, longer - 1));
  const double scale = static_cast<double>(nextLonger) / longer;
  *nextWidth = std::max<LONG>(1, static_cast<LONG>(std::lround(width * scale)));
  *nextHeight = std::max<LONG>(1, static_cast<LONG>(std::lround(height * scale)));
  if (width >= height) *nextWidth = nextLonger; else *nextHeight = nextLonger;
  return true;
}

}  // namespace

HRESULT EncodeWithinLimit(const CImageSaver& saver, const CDibPtr& picture, int quality, uint64_t limit,
                          LimitedOutput* out) {
  *out = LimitedOutput();
  if (!picture || !picture->IsValid()) return E_FAIL;
  CLimitSearch search(saver, limit, out);
  const bool usesQuality = saver.UsesQuality();
  quality = ClampOutputQuality(quality);
  const int lowest = usesQuality ? kLowestOutputQuality : quality;

  // The profile's own quality first: most pictures fit at once.
  bool fits = false;
  HRESULT hr = search.Try(*picture, quality, &fits);
  if (FAILED(hr) || fits) return hr;
  if (usesQuality) {
    hr = search.Bisect(*picture, lowest, quality - 1, &fits);
    if (FAILED(hr) || fits) return hr;
  }

  // Not even the lowest quality fits: smaller pictures at the lowest, then the highest quality
  // that fits at the first size that does.
  LONG width = picture->Width(), height = picture->Height();
  CDibPtr smaller;
  while (NextSmallerSize(width, height, search.LastSize(), limit, &width, &height)) {
    const RECT from = {0, 0, picture->Width(), picture->Height()};
    const RECT to = {0, 0, width, height};
    hr = ResizeDib(*picture, from, to, &smaller);
    if (FAILED(hr)) return hr;
    hr = search.Try(*smaller, lowest, &fits);
    if (FAILED(hr)) return hr;
    if (fits) {
      if (!usesQuality || lowest == quality) return S_OK;
      bool better = false;
      return search.Bisect(*smaller, lowest + 1, quality, &better);
    }
  }
  return S_FALSE;
}
