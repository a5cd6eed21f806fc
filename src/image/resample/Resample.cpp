// The resampler: weight tables, working memory, the column-then-row driver and the portable
// row kernels; ResampleSse2.cpp and ResampleAvx2.cpp hold the vector variants of the kernels.
//
// The filter is Catmull-Rom (Keys' cubic with a = -0.5), stretched by the reduction factor when
// shrinking so that every source pixel contributes (support 2 × factor on each side) and used as
// is when enlarging. It interpolates and reproduces linear ramps exactly; against Lanczos-3 it
// needs two thirds of the taps, a third less work in the inner loop, and its smaller negative
// lobe rings less on hard edges such as text and transparent cut-outs. Its leakage on a zone
// plate stays at the rounding of mid-grey (see ResampleTest), so Lanczos' extra taps would buy
// nothing visible. Pixel centres map to pixel centres: target x sits at source
// (x + 0.5) × factor - 0.5.
//
// Outside the picture nothing dark or clear is ever read; windows fold back inside. Shrinking
// mirrors the picture about its outermost pixels, so the finest detail continues past the edge
// as it is and averages out there as in the middle (repeating the edge pixel instead would give
// it the weight of every tap outside: a one-pixel checkerboard would turn light or dark at the
// corners). Enlarging repeats the outermost pixels, so target pixels beyond the outermost source
// centres keep the edge colour instead of bending back towards the inner pixels.
//
// Order of work: each group of four source rows is premultiplied once and added into the
// accumulator rows of every target row whose window holds one of them (at most a handful are
// open at a time, whatever the factor); a finished target row is rounded to 16 bits and filtered
// along the row into the target. The source is read once, and the working set is a handful of
// source-width accumulator rows whatever the factor. Adding four rows per visit of an
// accumulator, not two, takes a fifth to a quarter off a large reduction.
#include "image/resample/Resample.h"

#include "base/CheckedMath.h"
#include "base/Scoped.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "image/resample/ResampleKernels.h"

namespace resample {
namespace {

constexpr double kRadius = 2.0;

double CatmullRom(double t) {
  t = std::fabs(t);
  if (t < 1.0) return (1.5 * t - 2.5) * t * t + 1.0;
  if (t < 2.0) return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
  return 0.0;
}

bool AddFits(size_t a, size_t b, size_t* out) {
  if (b > std::numeric_limits<size_t>::max() - a) return false;
  *out = a + b;
  return true;
}

// Memory that keeps its capacity between calls (first use of fresh pages is the costly part of
// a small resample), aligned for whole cache lines.
class CAlignedBuffer {
public:
  bool Reserve(size_t bytes) {
    if (bytes <= m_capacity) return true;
    size_t total = 0;
    if (!AddFits(bytes, kAlign, &total)) return false;
    m_storage.reset();
    m_capacity = 0;
    m_storage.reset(new (std::nothrow) uint8_t[total]);
    if (!m_storage) return false;
    uintptr_t base = reinterpret_cast<uintptr_t>(m_storage.get());
    m_aligned = m_storage.get() + ((kAlign - base % kAlign) % kAlign);
    m_capacity = bytes;
    return true;
  }
  template <class T>
  T* As() const {
    return reinterpret_cast<T*>(m_aligned);
  }

private:
  static constexpr size_t kAlign = 64;
  std::unique_ptr<uint8_t[]> m_storage;
  uint8_t* m_aligned = nullptr;
  size_t m_capacity = 0;
};

// Window and weights of every target pixel along one axis.
struct AxisTable {
  std::vector<uint32_t> start;   // first source index
  std::vector<uint32_t> count;   // source indices in the window
  std::vector<int16_t> weights;  // `stride` per target pixel, zero past `count`
  uint32_t stride = 0;

  int32_t WeightAt(uint32_t target, uint32_t source) const {
    uint32_t first = start[target];
    if (source < first || source - first >= count[target]) return 0;
    return weights[static_cast<size_t>(target) * stride + (source - first)];
  }
  uint32_t End(uint32_t target) const { return start[target] + count[target]; }
};

// Index of the source pixel that stands at `i` once the picture is mirrored about its first and
// last pixels, as often as needed.
uint32_t Mirror(int64_t i, uint32_t size) {
  if (i >= 0 && i < size) return static_cast<uint32_t>(i);  // most taps: no 64-bit division
  if (size == 1) return 0;
  const int64_t period = 2 * (static_cast<int64_t>(size) - 1);
  int64_t m = i % period;
  if (m < 0) m += period;
  return static_cast<uint32_t>(m < size ? m : period - m);
}

// std::lround (halves away from zero) for weights well within 32 bits, without the library call
// that the 32-bit build makes for every tap: the fraction x - trunc(x) is exact.
int32_t RoundHalfAway(double x) {
  int32_t whole = static_cast<int32_t>(x);
  double fraction = x - whole;
  if (fraction >= 0.5) return whole + 1;
  if (fraction <= -0.5) return whole - 1;
  return whole;
}

uint32_t Clamp(int64_t i, uint32_t size) {
  return static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(i, 0), size - 1));
}

// Fills `table` for `targetSize` pixels made from `sourceSize`; the stride is a multiple of
// `group`. False when the table would not fit in memory.
// Both ends of the windows only move forward as x grows, which the row walk relies on: clamped
// windows plainly, and mirrored ones because shrinking keeps every centre c within
// [0, sourceSize - 1], so what folds back at either edge lands inside the window's own span.
bool BuildAxis(uint32_t sourceSize, uint32_t targetSize, uint32_t group, AxisTable* table,
               std::vector<double>* taps) {
  const double factor = static_cast<double>(sourceSize) / targetSize;
  const double stretch = std::max(factor, 1.0);
  const double support = kRadius * stretch;
  const bool mirror = factor > 1.0;
  auto window = [&](uint32_t x, double* centre, int64_t* lo, int64_t* hi) {
    *centre = (x + 0.5) * factor - 0.5;
    // Open interval: the kernel is zero at +-support.
    *lo = static_cast<int64_t>(std::floor(*centre - support)) + 1;
    *hi = static_cast<int64_t>(std::ceil(*centre + support)) - 1;
  };
  table->start.resize(targetSize);
  table->count.resize(targetSize);
  uint32_t widest = 0;
  for (uint32_t x = 0; x < targetSize; ++x) {
    double centre;
    int64_t lo, hi;
    window(x, &centre, &lo, &hi);
    // The folded window. Mirrored, it also holds [1, -lo] folded from before the first pixel and
    // [2 × top - hi, top - 1] from past the last (anything folded twice may land anywhere).
    const int64_t top = static_cast<int64_t>(sourceSize) - 1;
    int64_t first = std::max<int64_t>(lo, 0), last = std::min(hi, top);
    if (mirror) {
      if (lo < -top || hi > 2 * top) {
        first = 0;
        last = top;
      }
      if (lo < 0) last = std::max(last, std::min(-lo, top));
      if (hi > top) first = std::min(first, std::max<int64_t>(2 * top - hi, 0));
    }
    table->start[x] = static_cast<uint32_t>(first);
    table->count[x] = static_cast<uint32_t>(last - first) + 1;
    widest = std::max(widest, table->count[x]);
  }
  table->stride = (widest + group - 1) / group * group;
  if (table->stride < widest) return false;
  size_t cells = 0;
  if (!MultiplyFits(targetSize, table->stride, &cells)) return false;
  table->weights.assign(cells, 0);
  taps->resize(widest);

  for (uint32_t x = 0; x < targetSize; ++x) {
    double centre;
    int64_t lo, hi;
    window(x, &centre, &lo, &hi);
    const uint32_t first = table->start[x], n = table->count[x];
    std::fill(taps->begin(), taps->begin() + n, 0.0);
    double sum = 0.0;
    for (int64_t i = lo; i <= hi; ++i) {
      double w = CatmullRom((static_cast<double>(i) - centre) / stretch);
      (*taps)[(mirror ? Mirror(i, sourceSize) : Clamp(i, sourceSize)) - first] += w;
      sum += w;
    }
    // Rounding the running total (not each weight) makes the weights sum to exactly the unit
    // while each stays within one unit of its true value. Taps are folded, never dropped, so the
    // sum is that of the whole kernel: positive.
    int16_t* out = &table->weights[static_cast<size_t>(x) * table->stride];
    double running = 0.0;
    int32_t previous = 0;
    for (uint32_t i = 0; i < n; ++i) {
      running += (*taps)[i];
      int32_t reached = i + 1 == n ? kWeightUnit
                                   : RoundHalfAway(running / sum * kWeightUnit);
      out[i] = static_cast<int16_t>(reached - previous);
      previous = reached;
    }
  }
  return true;
}

// The accumulator rows one group of source rows is added into, with their weights: those of one
// resampling, or of several fed the same rows.
struct GroupLists {
  std::vector<int32_t> pairs01, pairs23;
  std::vector<int32_t*> accRows;
  void Resize(size_t count) {  // may throw std::bad_alloc
    pairs01.resize(count);
    pairs23.resize(count);
    accRows.resize(count);
  }
};

struct Scratch {
  AxisTable columns, rows;
  std::vector<double> taps;
  GroupLists lists;
  CAlignedBuffer acc;
  CAlignedBuffer row;
  CAlignedBuffer spreadPairs;
};

// Working memory for the resamplings that run at once (a call, or a row resampler for as long as
// it lives); each takes one and returns it afterwards, and the next finds its pages warm. Two are
// kept between pictures; more are made while more run.
class CScratchPool {
public:
  std::unique_ptr<Scratch> Take() {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      if (!m_idle.empty()) {
        std::unique_ptr<Scratch> scratch = std::move(m_idle.back());
        m_idle.pop_back();
        return scratch;
      }
    }
    return std::unique_ptr<Scratch>(new (std::nothrow) Scratch);
  }
  void Give(std::unique_ptr<Scratch> scratch) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_idle.size() < kKept) m_idle.push_back(std::move(scratch));
  }

private:
  static constexpr size_t kKept = 2;
  std::mutex m_lock;
  std::vector<std::unique_ptr<Scratch>> m_idle;
};

CScratchPool& Pool() {
  static CScratchPool pool;
  return pool;
}

// A scratch taken from the pool for as long as a resampling runs, given back to it afterwards.
struct ScratchLeaseTraits {
  typedef Scratch* Type;
  static Scratch* Empty() { return nullptr; }
  static bool IsEmpty(const Scratch* scratch) { return scratch == nullptr; }
  static void Release(Scratch* scratch) { Pool().Give(std::unique_ptr<Scratch>(scratch)); }
};
typedef CScoped<ScratchLeaseTraits> CScratchLease;

// An empty lease when memory runs out.
CScratchLease LeaseScratch() { return CScratchLease(Pool().Take().release()); }

// Walks the source rows in groups of four (the last may be shorter) and reports, for each group,
// the target rows whose windows hold any of its rows: always a contiguous run [first, last) that
// moves down the picture.
class CRowGroupWalk {
public:
  static const uint32_t kGroup = 4;

  CRowGroupWalk(const AxisTable& rows, uint32_t sourceHeight)
      : m_rows(rows), m_height(sourceHeight), m_targets(static_cast<uint32_t>(rows.start.size())) {}

  bool Next() {
    if (m_y >= m_height) return false;
    while (m_first < m_targets && m_rows.End(m_first) <= m_y) ++m_first;
    while (m_last < m_targets && m_rows.start[m_last] <= LastRow()) ++m_last;
    return true;
  }
  void Advance() { m_y += kGroup; }
  uint32_t Y() const { return static_cast<uint32_t>(m_y); }
  // Source rows in this group, 1 to 4.
  uint32_t Count() const { return static_cast<uint32_t>(std::min<uint64_t>(kGroup, m_height - m_y)); }
  uint32_t LastRow() const { return Y() + Count() - 1; }
  // Rows of the source consumed once this group is added.
  uint64_t Done() const { return m_y + Count(); }
  uint32_t First() const { return m_first; }
  uint32_t Last() const { return m_last; }

private:
  const AxisTable& m_rows;
  uint64_t m_height;
  uint32_t m_targets;
  uint64_t m_y = 0;  // 64 bits: stepping past the last row must not wrap
  uint32_t m_first = 0;
  uint32_t m_last = 0;
};

// Two int16 weights in one int32, the first in the low half, as _mm_madd_epi16 takes them.
int32_t WeightPair(int32_t first, int32_t second) {
  return static_cast<int32_t>(static_cast<uint16_t>(first) |
                              static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16);
}

// Fills HorizontalTable::spreadPairs from the column weights, in `buffer`.
bool SpreadPairs(const AxisTable& columns, CAlignedBuffer* buffer, HorizontalTable* table) {
  const size_t groups = columns.stride / kTapGroup;
  size_t ints = 0, bytes = 0;
  if (!MultiplyFits(columns.start.size(), groups, &ints) || !MultiplyFits(ints, 8, &ints) ||
      !MultiplyFits(ints, sizeof(int32_t), &bytes) || !buffer->Reserve(bytes)) {
    return false;
  }
  int32_t* out = buffer->As<int32_t>();
  for (size_t i = 0; i < columns.weights.size(); i += kTapGroup, out += 8) {
    const int16_t* w = &columns.weights[i];
    const int32_t low = WeightPair(w[0], w[1]), high = WeightPair(w[2], w[3]);
    for (int k = 0; k < 4; ++k) {
      out[k] = low;
      out[4 + k] = high;
    }
  }
  table->spreadPairs = buffer->As<int32_t>();
  return true;
}

// One resampling fed its source rows in order, a group of four at a time: the whole picture by
// ResampleBgra, or a decoder's rows as they come by CRowResampler. Either way the same groups
// meet the same sums, so the bytes are the same.
class CResampleRun {
public:
  CResampleRun(const RowKernels& kernels, Scratch& scratch) : m_kernels(kernels), m_s(scratch) {}

  // Tables and working memory for `sourceWidth` x `sourceHeight` into `target`; false when they
  // cannot be had.
  bool Begin(uint32_t sourceWidth, uint32_t sourceHeight, const PixelRows& target);
  // Source rows the next group takes (0 once every row has been added).
  uint32_t GroupRows() const { return m_more ? m_walk->Count() : 0; }
  uint32_t SourceWidth() const { return m_sourceWidth; }
  const RowKernels& Kernels() const { return m_kernels; }
  // Accumulator rows open at once: the most that Accumulators gives.
  uint32_t Open() const { return m_open; }
  // The accumulator rows the next group is added into, with the group's weights for each; they
  // go into the three arrays, whose room is at least Open(). Returns how many.
  uint32_t Accumulators(int32_t* pairs01, int32_t* pairs23, int32_t** accRows) const;
  // Once the group is in those accumulators: writes the target rows it completed and moves on to
  // the next group.
  void EndGroup();
  // Every target row written.
  bool Complete() const { return m_next == m_target.height; }

private:
  const RowKernels& m_kernels;
  Scratch& m_s;
  PixelRows m_target;
  uint32_t m_sourceWidth = 0;
  size_t m_paddedWidth = 0, m_accInts = 0;
  uint32_t m_open = 1;
  HorizontalTable m_columns;
  std::unique_ptr<CRowGroupWalk> m_walk;
  bool m_more = false;
  uint32_t m_next = 0;  // the next target row to write
};

bool CResampleRun::Begin(uint32_t sourceWidth, uint32_t sourceHeight, const PixelRows& target) {
  Scratch& s = m_s;
  m_target = target;
  m_sourceWidth = sourceWidth;
  const size_t paddedWidth = (static_cast<size_t>(sourceWidth) + kBlockPixels - 1) /
                             kBlockPixels * kBlockPixels;
  if (paddedWidth < sourceWidth) return false;
  // Before building any table, refuse sizes whose accumulators cannot even be counted: when
  // enlarging, every target row whose centre lies within the first source row is open at once.
  size_t accInts = 0, accRowBytes = 0, leastAccBytes = 0;
  const size_t leastOpen = std::max<size_t>(1, target.height / sourceHeight);
  if (!MultiplyFits(paddedWidth, 4, &accInts) ||
      !MultiplyFits(accInts, sizeof(int32_t), &accRowBytes) ||
      !MultiplyFits(accRowBytes, leastOpen, &leastAccBytes)) {
    return false;
  }

  if (!BuildAxis(sourceWidth, target.width, kTapGroup, &s.columns, &s.taps)) return false;
  if (!BuildAxis(sourceHeight, target.height, 1, &s.rows, &s.taps)) return false;

  // Accumulator rows open at once: the widest run of target rows one group of rows reaches.
  uint32_t open = 1;
  for (CRowGroupWalk walk(s.rows, sourceHeight); walk.Next(); walk.Advance()) {
    open = std::max(open, walk.Last() - walk.First());
  }

  size_t accBytes = 0, rowSamples = 0, rowBytes = 0;
  if (!MultiplyFits(accRowBytes, open, &accBytes) ||
      !AddFits(paddedWidth, s.columns.stride, &rowSamples) ||
      !MultiplyFits(rowSamples, 4 * sizeof(int16_t), &rowBytes)) {
    return false;
  }
  if (!s.acc.Reserve(accBytes) || !s.row.Reserve(rowBytes)) return false;
  s.lists.Resize(open);

  std::memset(s.acc.As<int32_t>(), 0, accBytes);
  // The horizontal kernels read up to a stride past the last window with zero weights.
  std::memset(s.row.As<int16_t>() + accInts, 0, rowBytes - accInts * sizeof(int16_t));

  m_columns.start = s.columns.start.data();
  m_columns.weights = s.columns.weights.data();
  m_columns.stride = s.columns.stride;
  m_columns.spreadPairs = nullptr;
  if (m_kernels.spreadPairs && !SpreadPairs(s.columns, &s.spreadPairs, &m_columns)) return false;
  m_paddedWidth = paddedWidth;
  m_accInts = accInts;
  m_open = open;
  m_walk.reset(new CRowGroupWalk(s.rows, sourceHeight));
  m_more = m_walk->Next();
  m_next = 0;
  return true;
}

uint32_t CResampleRun::Accumulators(int32_t* pairs01, int32_t* pairs23, int32_t** accRows) const {
  const CRowGroupWalk& walk = *m_walk;
  int32_t* acc = m_s.acc.As<int32_t>();
  const uint32_t n = walk.Last() - walk.First(), count = walk.Count();
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t t = walk.First() + i;
    int32_t w[CRowGroupWalk::kGroup];
    for (uint32_t k = 0; k < CRowGroupWalk::kGroup; ++k) {
      w[k] = k < count ? m_s.rows.WeightAt(t, walk.Y() + k) : 0;
    }
    pairs01[i] = WeightPair(w[0], w[1]);
    pairs23[i] = WeightPair(w[2], w[3]);
    accRows[i] = acc + (t % m_open) * m_accInts;
  }
  return n;
}

void CResampleRun::EndGroup() {
  int32_t* acc = m_s.acc.As<int32_t>();
  while (m_next < m_target.height && m_s.rows.End(m_next) <= m_walk->Done()) {
    m_kernels.settle(acc + (m_next % m_open) * m_accInts, m_s.row.As<int16_t>(),
                     static_cast<uint32_t>(m_paddedWidth));
    m_kernels.filterRow(m_s.row.As<int16_t>(), m_columns, m_target.width, m_target.Row(m_next));
    ++m_next;
  }
  m_walk->Advance();
  m_more = m_walk->Next();
}

// Adds the next group of source rows, given[0 .. GroupRows()), to every one of `runs`: runs fed
// the same rows, so all at the same group. The rows are premultiplied once for the accumulators
// of them all; each accumulator gets the sums it would get alone, so the bytes are the same.
// `lists` has room for the Open() of every run.
void AddGroupToRuns(CResampleRun* const* runs, size_t runCount, const uint8_t* const* given,
                    GroupLists& lists) {
  const uint32_t count = runs[0]->GroupRows();
  if (count == 0) return;
  uint32_t n = 0;
  for (size_t r = 0; r < runCount; ++r) {
    n += runs[r]->Accumulators(lists.pairs01.data() + n, lists.pairs23.data() + n, lists.accRows.data() + n);
  }
  // Rows past the picture's end stand in as its last row, with weight 0.
  const uint8_t* rows[CRowGroupWalk::kGroup];
  for (uint32_t k = 0; k < CRowGroupWalk::kGroup; ++k) rows[k] = given[std::min(k, count - 1)];
  const RowKernels& kernels = runs[0]->Kernels();
  if (count > 2) {
    kernels.accumulateFour(rows, runs[0]->SourceWidth(), lists.pairs01.data(), lists.pairs23.data(),
                           lists.accRows.data(), n);
  } else {
    kernels.accumulate(rows[0], rows[1], runs[0]->SourceWidth(), lists.pairs01.data(), lists.accRows.data(), n);
  }
  for (size_t r = 0; r < runCount; ++r) runs[r]->EndGroup();
}

bool Run(const RowKernels& kernels, const PixelRows& source, const PixelRows& target, Scratch& s) {
  CResampleRun run(kernels, s);
  if (!run.Begin(source.width, source.height, target)) return false;
  CResampleRun* runs[1] = {&run};
  for (uint32_t y = 0; run.GroupRows() > 0; y += CRowGroupWalk::kGroup) {
    const uint8_t* rows[CRowGroupWalk::kGroup];
    for (uint32_t k = 0; k < run.GroupRows(); ++k) rows[k] = source.Row(y + k);
    AddGroupToRuns(runs, 1, rows, s.lists);
  }
  return run.Complete();
}

// Portable kernels: the reference for the vector variants, and the path for processors without
// SSE2.

inline int32_t PremultipliedSample(const uint8_t* pixel, int channel) {
  int32_t alpha = pixel[3];
  int32_t factor = channel == 3 ? 255 : alpha;
  return pixel[channel] * factor - kSampleBias;
}

void AccumulateScalar(const uint8_t* a, const uint8_t* b, uint32_t width, const int32_t* pairs,
                      int32_t* const* acc, uint32_t count) {
  for (uint32_t x = 0; x < width; ++x) {
    int32_t sa[4], sb[4];
    for (int c = 0; c < 4; ++c) {
      sa[c] = PremultipliedSample(a + 4 * x, c);
      sb[c] = PremultipliedSample(b + 4 * x, c);
    }
    for (uint32_t i = 0; i < count; ++i) {
      int32_t wa = static_cast<int16_t>(pairs[i] & 0xFFFF);
      int32_t wb = static_cast<int16_t>(static_cast<uint32_t>(pairs[i]) >> 16);
      int32_t* out = acc[i] + 4 * static_cast<size_t>(x);
      for (int c = 0; c < 4; ++c) out[c] += sa[c] * wa + sb[c] * wb;
    }
  }
}

void SettleScalar(int32_t* acc, int16_t* row, uint32_t paddedWidth) {
  for (size_t i = 0; i < 4 * static_cast<size_t>(paddedWidth); ++i) {
    int32_t v = (acc[i] + (1 << (kWeightBits - 1))) >> kWeightBits;
    row[i] = static_cast<int16_t>(std::min(std::max(v, -32768), 32767));
    acc[i] = 0;
  }
}

void FilterRowScalar(const int16_t* row, const HorizontalTable& table, uint32_t width,
                     uint8_t* out) {
  for (uint32_t x = 0; x < width; ++x) {
    const int16_t* w = table.weights + static_cast<size_t>(x) * table.stride;
    const int16_t* s = row + 4 * static_cast<size_t>(table.start[x]);
    int32_t sums[4] = {0, 0, 0, 0};
    for (uint32_t k = 0; k < table.stride; ++k) {
      for (int c = 0; c < 4; ++c) sums[c] += w[k] * s[4 * k + c];
    }
    uint32_t pixel = StraightPixel(sums);
    std::memcpy(out + 4 * static_cast<size_t>(x), &pixel, 4);
  }
}

void AccumulateFourScalar(const uint8_t* const* rows, uint32_t width, const int32_t* pairs01,
                          const int32_t* pairs23, int32_t* const* acc, uint32_t count) {
  AccumulateScalar(rows[0], rows[1], width, pairs01, acc, count);
  AccumulateScalar(rows[2], rows[3], width, pairs23, acc, count);
}

const RowKernels kScalarKernels = {AccumulateScalar, AccumulateFourScalar, SettleScalar, FilterRowScalar, false};

int32_t RoundToByte(float v) {
  float r = std::nearbyint(v);
  if (!(r > 0.0f)) return 0;
  return r >= 255.0f ? 255 : static_cast<int32_t>(r);
}

}  // namespace

uint32_t StraightPixel(const int32_t sums[4]) {
  // Same operations, in the same order, as the vector variants, so all agree to the bit.
  const int32_t bias = kSampleBias * kWeightUnit;
  float alphaSum = static_cast<float>(sums[3] + bias);
  int32_t alpha = RoundToByte(alphaSum / (255.0f * kWeightUnit));
  if (alpha == 0) return 0;
  uint32_t pixel = static_cast<uint32_t>(alpha) << 24;
  for (int c = 0; c < 3; ++c) {
    float color = static_cast<float>(sums[c] + bias) * 255.0f / alphaSum;
    pixel |= static_cast<uint32_t>(RoundToByte(color)) << (8 * c);
  }
  return pixel;
}

const RowKernels* KernelsFor(Isa isa) {
  switch (isa) {
    case Isa::Scalar:
      return &kScalarKernels;
    case Isa::Sse2:
      return Sse2Kernels();
    case Isa::Avx2:
      return Avx2Kernels();
  }
  return nullptr;
}

Isa BestIsa() {
  static const Isa best = Avx2Kernels() ? Isa::Avx2 : Sse2Kernels() ? Isa::Sse2 : Isa::Scalar;
  return best;
}

bool ResampleBgraWith(Isa isa, const PixelRows& source, const PixelRows& target) {
  const RowKernels* kernels = KernelsFor(isa);
  if (!kernels) return false;
  if (target.width == 0 || target.height == 0) return true;
  if (source.width == 0 || source.height == 0) return false;
  try {
    CScratchLease lease = LeaseScratch();
    return lease.IsValid() && Run(*kernels, source, target, *lease.Get());
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

}  // namespace resample

bool ResampleBgra(const PixelRows& source, const PixelRows& target) {
  return resample::ResampleBgraWith(resample::BestIsa(), source, target);
}

struct CRowResampler::State {
  std::vector<resample::CScratchLease> leases;
  std::vector<std::unique_ptr<resample::CResampleRun>> owned;
  std::vector<resample::CResampleRun*> runs;
  resample::GroupLists lists;
  const uint8_t* pending[resample::CRowGroupWalk::kGroup] = {};
  uint32_t pendingCount = 0;
};

CRowResampler::CRowResampler() = default;
CRowResampler::~CRowResampler() = default;

bool CRowResampler::Begin(uint32_t sourceWidth, uint32_t sourceHeight, const std::vector<PixelRows>& targets) {
  m_state.reset();
  if (sourceWidth == 0 || sourceHeight == 0 || targets.empty()) return false;
  try {
    std::unique_ptr<State> state(new State);
    const resample::RowKernels& kernels = *resample::KernelsFor(resample::BestIsa());
    size_t open = 0;
    for (const PixelRows& target : targets) {
      if (target.width == 0 || target.height == 0) return false;
      state->leases.push_back(resample::LeaseScratch());
      resample::Scratch* scratch = state->leases.back().Get();
      if (!scratch) return false;
      state->owned.emplace_back(new resample::CResampleRun(kernels, *scratch));
      if (!state->owned.back()->Begin(sourceWidth, sourceHeight, target)) return false;
      state->runs.push_back(state->owned.back().get());
      open += state->owned.back()->Open();
    }
    state->lists.Resize(open);
    m_state = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

void CRowResampler::AddRow(const uint8_t* row) {
  if (!m_state || m_state->runs[0]->GroupRows() == 0) return;
  m_state->pending[m_state->pendingCount++] = row;
  if (m_state->pendingCount == m_state->runs[0]->GroupRows()) {
    resample::AddGroupToRuns(m_state->runs.data(), m_state->runs.size(), m_state->pending, m_state->lists);
    m_state->pendingCount = 0;
  }
}

bool CRowResampler::Complete() const {
  if (!m_state) return false;
  for (const resample::CResampleRun* run : m_state->runs) {
    if (!run->Complete()) return false;
  }
  return true;
}
