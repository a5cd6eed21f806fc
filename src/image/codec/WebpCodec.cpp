// libwebp wrapper. Decoding: the container is read by the demuxer (size, flags, ICCP and EXIF chunks);
// a still picture then decodes incrementally, a piece of the file at a time, so that the canvas
// can be asked between pieces whether it is still wanted, and an animation's first frame comes
// from the animation decoder, which composes it on the animation's canvas. Encoding: one still
// picture into memory. libwebp makes no callbacks (but the encoder's writer, which cannot fail
// but by running out of memory) and reports errors as values.
#include "image/codec/WebpCodec.h"

#include <cstring>
#include <memory>
#include <new>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include "base/Orientation.h"
#include "base/OutputQuality.h"
#include "base/Scoped.h"

namespace {

typedef CScopedObject<WebPDemuxer, WebPDemuxDelete> CWebpDemuxer;
typedef CScopedObject<WebPAnimDecoder, WebPAnimDecoderDelete> CWebpAnimDecoder;

// The incremental decoder and the output buffer it fills, released in the order libwebp asks.
class CIncrementalDecoder {
public:
  CIncrementalDecoder() { WebPInitDecoderConfig(&m_config); }
  ~CIncrementalDecoder() {
    if (m_decoder) WebPIDelete(m_decoder);
    WebPFreeDecBuffer(&m_config.output);
  }
  CIncrementalDecoder(const CIncrementalDecoder&) = delete;
  CIncrementalDecoder& operator=(const CIncrementalDecoder&) = delete;

  WebPDecoderConfig& Config() { return m_config; }
  bool Start() {
    m_decoder = WebPIDecode(nullptr, 0, &m_config);
    return m_decoder != nullptr;
  }
  WebPIDecoder* Get() const { return m_decoder; }

private:
  WebPDecoderConfig m_config;
  WebPIDecoder* m_decoder = nullptr;
};

// The bytes the decoder is given at a time: a few milliseconds of decoding between two looks at
// the canvas.
const size_t kPiece = 64 * 1024;

int OrientationOf(const WebPDemuxer* demux) {
  WebPChunkIterator chunk;
  int orientation = 1;
  if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
    // The chunk holds the TIFF structure itself; some writers put the JPEG segment's
    // "Exif\0\0" in front of it.
    const uint8_t* bytes = chunk.chunk.bytes;
    const size_t size = chunk.chunk.size;
    orientation = size >= 6 && std::memcmp(bytes, "Exif\0\0", 6) == 0 ? ExifOrientationFromApp1(bytes, size)
                                                                      : ExifOrientation(bytes, size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return orientation;
}

// The ICC profile of an ICCP chunk; its bytes lie in the file's own buffer.
ColorDescription ReadProfile(const WebPDemuxer* demux) {
  ColorDescription color;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
    color.icc = chunk.chunk.bytes;
    color.iccSize = chunk.chunk.size;
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return color;
}

// `framesHeld` whole pictures of 4 bytes per pixel are in the decoder's own buffers while the
// canvas gets its rows: one for a still picture, the frame and the one before it for an animation.
bool AskCanvas(BgraCanvas* canvas, uint32_t width, uint32_t height, int orientation, unsigned framesHeld) {
  const uint64_t held = static_cast<uint64_t>(width) * height * 4 * framesHeld;
  return canvas->Prepare(width, height, orientation, held) != 0 && canvas->Begin(width, height);
}

void CopyRows(const uint8_t* bgra, size_t stride, uint32_t first, uint32_t end, uint32_t width,
              BgraCanvas* canvas) {
  for (uint32_t y = first; y < end; ++y) {
    std::memcpy(canvas->Row(y), bgra + y * stride, 4 * static_cast<size_t>(width));
    canvas->Written(y, 1);
  }
}

DecodeStatus DecodeStill(const uint8_t* data, size_t size, int orientation, BgraCanvas* canvas) {
  CIncrementalDecoder decoder;
  WebPDecoderConfig& config = decoder.Config();
  if (WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK) return DecodeStatus::Undecodable;
  const int width = config.input.width, height = config.input.height;
  if (width <= 0 || height <= 0) return DecodeStatus::Undecodable;
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  if (!AskCanvas(canvas, uint32_t(width), uint32_t(height), orientation, 1)) return DecodeStatus::OutOfMemory;

  config.output.colorspace = MODE_BGRA;  // straight alpha
  config.options.use_threads = 0;        // pictures are decoded in parallel instead
  if (!decoder.Start()) return DecodeStatus::OutOfMemory;
  uint32_t done = 0;
  size_t given = 0;
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  while (given < size && status == VP8_STATUS_SUSPENDED) {
    if (canvas->Abandoned()) return DecodeStatus::Abandoned;
    given = size - given > kPiece ? given + kPiece : size;
    // The same buffer, longer each time: the decoder reads it in place.
    status = WebPIUpdate(decoder.Get(), data, given);
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) break;
    int lastY = 0, outWidth = 0, outHeight = 0, stride = 0;
    const uint8_t* rows = WebPIDecGetRGB(decoder.Get(), &lastY, &outWidth, &outHeight, &stride);
    if (!rows) continue;
    if (outWidth != width || outHeight != height || stride < 4 * width || lastY < 0 || lastY > height) {
      return DecodeStatus::Undecodable;
    }
    CopyRows(rows, static_cast<size_t>(stride), done, static_cast<uint32_t>(lastY), uint32_t(width), canvas);
    done = static_cast<uint32_t>(lastY);
  }
  // A file that ends before its picture does leaves the decoder waiting for more.
  if (status == VP8_STATUS_OUT_OF_MEMORY) return DecodeStatus::OutOfMemory;
  if (status != VP8_STATUS_OK || done != static_cast<uint32_t>(height)) return DecodeStatus::Undecodable;
  return canvas->Finish(orientation) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

DecodeStatus DecodeFirstFrame(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                              int orientation, BgraCanvas* canvas) {
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  if (!AskCanvas(canvas, width, height, orientation, 2)) return DecodeStatus::OutOfMemory;
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return DecodeStatus::Undecodable;
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData file = {data, size};
  CWebpAnimDecoder decoder(WebPAnimDecoderNew(&file, &options));
  if (!decoder.IsValid()) return DecodeStatus::Undecodable;
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.Get(), &info) || info.canvas_width != width ||
      info.canvas_height != height) {
    return DecodeStatus::Undecodable;
  }
  uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.Get(), &frame, &timestamp) || !frame) return DecodeStatus::Undecodable;
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  CopyRows(frame, 4 * static_cast<size_t>(width), 0, height, width, canvas);
  return canvas->Finish(orientation) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

// The encoder's input picture and the memory its writer fills, each freed as libwebp asks.
class CEncodeSession {
public:
  CEncodeSession() {
    m_ready = WebPPictureInit(&m_picture) != 0;
    WebPMemoryWriterInit(&m_writer);
  }
  ~CEncodeSession() {
    WebPPictureFree(&m_picture);
    WebPMemoryWriterClear(&m_writer);
  }
  CEncodeSession(const CEncodeSession&) = delete;
  CEncodeSession& operator=(const CEncodeSession&) = delete;

  bool Encode(const PixelRows& rows, int quality, std::vector<uint8_t>* out) {
    WebPConfig config;
    if (!m_ready || !WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, static_cast<float>(quality))) return false;
    // The worker and the look-ahead already run a picture per processor.
    config.thread_level = 0;
    if (!WebPValidateConfig(&config)) return false;
    m_picture.width = static_cast<int>(rows.width);
    m_picture.height = static_cast<int>(rows.height);
    m_picture.use_argb = 0;  // lossy: the encoder's YUV planes, with an alpha plane when needed
    if (!WebPPictureImportBGRA(&m_picture, rows.top, static_cast<int>(rows.stride))) return false;
    m_picture.writer = WebPMemoryWrite;
    m_picture.custom_ptr = &m_writer;
    if (!WebPEncode(&config, &m_picture)) return false;
    out->assign(m_writer.mem, m_writer.mem + m_writer.size);
    return true;
  }

private:
  WebPPicture m_picture;
  WebPMemoryWriter m_writer;
  bool m_ready = false;
};

DecodeStatus Decode(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  // The demuxer accepts only a whole, well-formed container: a truncated file ends here.
  const WebPData file = {data, size};
  CWebpDemuxer demux(WebPDemux(&file));
  if (!demux.IsValid()) return DecodeStatus::Undecodable;
  const uint32_t flags = WebPDemuxGetI(demux.Get(), WEBP_FF_FORMAT_FLAGS);
  const uint32_t width = WebPDemuxGetI(demux.Get(), WEBP_FF_CANVAS_WIDTH);
  const uint32_t height = WebPDemuxGetI(demux.Get(), WEBP_FF_CANVAS_HEIGHT);
  const int orientation = OrientationOf(demux.Get());
  if (width == 0 || height == 0) return DecodeStatus::Undecodable;
  canvas->DescribeColor(ReadProfile(demux.Get()));
  if (flags & ANIMATION_FLAG) {
    demux.Reset();  // the animation decoder reads the container again, with its own demuxer
    return DecodeFirstFrame(data, size, width, height, orientation, canvas);
  }
  demux.Reset();
  return DecodeStill(data, size, orientation, canvas);
}

}  // namespace

bool IsWebpSignature(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

DecodeStatus DecodeWebp(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  return GuardedDecode(IsWebpSignature(data, size), [&] { return Decode(data, size, canvas); });
}

bool EncodeWebp(const PixelRows& rows, int quality, std::vector<uint8_t>* out) {
  if (rows.width == 0 || rows.height == 0 || rows.width > WEBP_MAX_DIMENSION || rows.height > WEBP_MAX_DIMENSION) {
    return false;
  }
  CEncodeSession session;
  return session.Encode(rows, ClampOutputQuality(quality), out);
}
