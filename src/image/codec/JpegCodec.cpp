// libjpeg-turbo wrappers. The library reports errors through a longjmp from its error handler;
// each setjmp lives in a small function that owns no C++ objects, so nothing is skipped by it.
#include "image/codec/JpegCodec.h"

#include "base/Orientation.h"
#include "base/OutputQuality.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

// The library's progress hook, called every row of blocks while it reads a progressive file's
// scans and at every batch of output rows: leaves the decode through the error path once the
// canvas no longer wants the picture.
struct AbandonWatch {
  jpeg_progress_mgr base;
  const BgraCanvas* canvas;
  volatile bool abandoned;  // read after the longjmp
};

void LookForAbandon(j_common_ptr cinfo) {
  AbandonWatch* watch = reinterpret_cast<AbandonWatch*>(cinfo->progress);
  if (watch->canvas->Abandoned()) {
    watch->abandoned = true;
    (*cinfo->err->error_exit)(cinfo);
  }
}

void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void SilentOutput(j_common_ptr) {}

// Warnings that mean the picture data is damaged: the decoder would otherwise invent grey
// rows or garbage blocks and report success.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_HIT_MARKER:
      ErrorExit(cinfo);
      break;
    default:
      break;
  }
}

void InitErrors(ErrorManager* errors) {
  jpeg_std_error(&errors->base);
  errors->base.error_exit = ErrorExit;
  errors->base.output_message = SilentOutput;
  errors->base.emit_message = EmitMessage;
}

inline uint8_t Mul255(unsigned a, unsigned b) {
  unsigned t = a * b + 128;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// CMYK as decoded (Adobe files store it inverted) into B, G, R, A in place.
void CmykRowToBgra(uint8_t* row, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x, row += 4) {
    unsigned c = row[0], m = row[1], yy = row[2], k = row[3];
    if (!inverted) {
      c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k;
    }
    row[2] = Mul255(c, k);
    row[1] = Mul255(m, k);
    row[0] = Mul255(yy, k);
    row[3] = 255;
  }
}

DecodeStatus DecodeJpegC(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  cinfo.err = &errors.base;
  InitErrors(&errors);
  AbandonWatch watch;
  watch.base.progress_monitor = LookForAbandon;
  watch.canvas = canvas;
  watch.abandoned = false;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return watch.abandoned ? DecodeStatus::Abandoned : DecodeStatus::Undecodable;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &watch.base;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);  // an ICC profile, in pieces
  jpeg_read_header(&cinfo, TRUE);
  int orientation = 1;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m && orientation == 1; m = m->next) {
    if (m->marker == JPEG_APP0 + 1) orientation = ExifOrientationFromApp1(m->data, m->data_length);
  }
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  // The canvas converts a profile's colours itself; CMYK values are then handed over unconverted.
  bool plainCmyk = cmyk;
  {
    ColorDescription color;
    JOCTET* profile = nullptr;
    unsigned int profileSize = 0;
    if (jpeg_read_icc_profile(&cinfo, &profile, &profileSize)) {
      color.icc = profile;
      color.iccSize = profileSize;
    }
    color.stored = cmyk ? (cinfo.saw_Adobe_marker ? StoredColor::InvertedCmyk : StoredColor::Cmyk)
                         : cinfo.jpeg_color_space == JCS_GRAYSCALE ? StoredColor::Grey : StoredColor::Rgb;
    if (canvas->DescribeColor(color) && cmyk) plainCmyk = false;
    free(profile);
  }
  // A file of several scans holds every coefficient of the stored picture until its last scan:
  // 64 of 2 bytes per block of each component. A file of one scan holds a few rows of them.
  uint64_t coefficientBytes = 0;
  if (jpeg_has_multiple_scans(&cinfo)) {
    for (int ci = 0; ci < cinfo.num_components; ++ci) {
      const jpeg_component_info& component = cinfo.comp_info[ci];
      coefficientBytes += uint64_t(component.width_in_blocks) * component.height_in_blocks * DCTSIZE2 * sizeof(JCOEF);
    }
  }
  unsigned denominator = canvas->Prepare(cinfo.image_width, cinfo.image_height, orientation, coefficientBytes);
  if (denominator == 0) {
    jpeg_destroy_decompress(&cinfo);
    return DecodeStatus::OutOfMemory;
  }
  if (denominator == 2 || denominator == 4 || denominator == 8) {
    cinfo.scale_num = 1;
    cinfo.scale_denom = denominator;
    // The picture is reduced at least twice more afterwards, which hides the difference between
    // smooth and plain chroma upsampling; the plain one is faster.
    cinfo.do_fancy_upsampling = FALSE;
  }
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 4 || !canvas->Begin(cinfo.output_width, cinfo.output_height)) {
    const DecodeStatus result =
        cinfo.output_components != 4 ? DecodeStatus::Undecodable : DecodeStatus::OutOfMemory;
    jpeg_destroy_decompress(&cinfo);
    return result;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW batch[16];
    JDIMENSION first = cinfo.output_scanline;
    JDIMENSION count = cinfo.output_height - first < 16 ? cinfo.output_height - first : 16;
    for (JDIMENSION i = 0; i < count; ++i) batch[i] = canvas->Row(first + i);
    JDIMENSION read = jpeg_read_scanlines(&cinfo, batch, count);
    if (plainCmyk) {
      for (JDIMENSION i = 0; i < read; ++i) {
        CmykRowToBgra(batch[i], cinfo.output_width, cinfo.saw_Adobe_marker);
      }
    }
    canvas->Written(first, read);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return canvas->Finish(orientation) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

// Returns true on success; *buffer is malloc'ed by libjpeg and always handed back for freeing.
bool EncodeJpegC(const PixelRows* rows, int quality, unsigned char** buffer, unsigned long* length) {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  cinfo.err = &errors.base;
  InitErrors(&errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, length);
  cinfo.image_width = rows->width;
  cinfo.image_height = rows->height;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRA;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = TRUE;
  if (quality >= 90) {
    // At the top qualities halved colour resolution would be the largest error left: keep it full.
    for (int i = 0; i < cinfo.num_components; ++i) {
      cinfo.comp_info[i].h_samp_factor = 1;
      cinfo.comp_info[i].v_samp_factor = 1;
    }
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = rows->Row(cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool IsJpegSignature(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

DecodeStatus DecodeJpeg(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  if (!IsJpegSignature(data, size)) return DecodeStatus::Undecodable;
  return DecodeJpegC(data, size, canvas);
}

bool EncodeJpeg(const PixelRows& rows, int quality, std::vector<uint8_t>* out) {
  if (rows.width == 0 || rows.height == 0) return false;
  quality = ClampOutputQuality(quality);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  bool ok = EncodeJpegC(&rows, quality, &buffer, &length);
  if (ok) out->assign(buffer, buffer + length);
  std::free(buffer);
  return ok;
}
