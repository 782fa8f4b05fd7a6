#include "analysis/transfer_syntax.h"

#include <cstring>

#include "analysis/dicom_file.h"

namespace {

// The order matters: row numbers are stored in DicomFile::transferSyntaxIndex
// and the search takes the first row that matches.
const TransferSyntaxRow kRows[kTransferSyntaxCount] = {
    {0, "1.2.840.10008.1.2", u"Implicit VR Little Endian: Default Transfer Syntax for DICOM", u"隐藏VR的小端模式[D]"},
    {1, "1.2.840.10008.1.2.1", u"Explicit VR Little Endian", u"显式VR的小端模式"},
    {2, "1.2.840.10008.1.2.1.99", u"Deflated Explicit VR Little Endian", u"压缩显示VR的小端模式"},
    {3, "1.2.840.10008.1.2.2", u"Explicit VR Big Endian (Retired)", u"显式VR的大端模式（废弃）"},
    {4, "1.2.840.10008.1.2.4.50",
     u"JPEG Baseline (Process 1): Default Transfer Syntax for Lossy JPEG 8 Bit Image Compression", u"8bit的JPEG[D]"},
    {5, "1.2.840.10008.1.2.4.51",
     u"JPEG Extended (Process 2 & 4): Default Transfer Syntax for Lossy JPEG 12 Bit Image Compression (Process 4 only)",
     u"10bit有损JPEG.2&4[D]"},
    {6, "1.2.840.10008.1.2.4.52", u"JPEG Extended (Process 3 & 5) (Retired)", u"JPEG.3&5（废弃）"},
    {7, "1.2.840.10008.1.2.4.53", u"JPEG Spectral Selection, Non-Hierarchical (Process 6 & 8) (Retired)",
     u"非层次光谱选择JPEG.6&8（废弃）"},
    {8, "1.2.840.10008.1.2.4.54", u"JPEG Spectral Selection, Non-Hierarchical (Process 7 & 9) (Retired)",
     u"非层次光谱选择JPEG.7&9（废弃）"},
    {9, "1.2.840.10008.1.2.4.55", u"JPEG Full Progression, Non-Hierarchical (Process 10 & 12) (Retired)",
     u"非层次全进程法JPEG.10&12（废弃）"},
    {10, "1.2.840.10008.1.2.4.56", u"JPEG Full Progression, Non-Hierarchical (Process 11 & 13) (Retired)",
     u"非层次全进程法JPEG.11&13（废弃）"},
    {11, "1.2.840.10008.1.2.4.57", u"JPEG Lossless, Non-Hierarchical (Process 14)", u"非层次无损JPEG.14"},
    {12, "1.2.840.10008.1.2.4.58", u"JPEG Lossless, Non-Hierarchical (Process 15) (Retired)", u"非层次无损JPEG.15"},
    {13, "1.2.840.10008.1.2.4.59", u"JPEG Extended, Hierarchical (Process 16 & 18) (Retired)",
     u"层次JPEG.16&18（废弃）"},
    {14, "1.2.840.10008.1.2.4.60", u"JPEG Extended, Hierarchical (Process 17 & 19) (Retired)",
     u"层次JPEG.17&19（废弃）"},
    {15, "1.2.840.10008.1.2.4.61", u"JPEG Spectral Selection, Hierarchical (Process 20 & 22) (Retired)",
     u"层次光谱选择JPEG.20&22（废弃）"},
    {16, "1.2.840.10008.1.2.4.62", u"JPEG Spectral Selection, Hierarchical (Process 21 & 23) (Retired)",
     u"层次光谱选择JPEG.21&23（废弃）"},
    {17, "1.2.840.10008.1.2.4.63", u"JPEG Full Progression, Hierarchical (Process 24 & 26) (Retired)",
     u"层次全进程JPEG.24&26（废弃）"},
    {18, "1.2.840.10008.1.2.4.64", u"JPEG Full Progression, Hierarchical (Process 25 & 27) (Retired)",
     u"层次全进程JPEG.25&27（废弃）"},
    {19, "1.2.840.10008.1.2.4.65", u"JPEG Lossless, Hierarchical (Process 28) (Retired)", u"层次无损JPEG.28（废弃）"},
    {20, "1.2.840.10008.1.2.4.66", u"JPEG Lossless, Hierarchical (Process 29) (Retired)", u"层次无损JPEG.29（废弃）"},
    {21, "1.2.840.10008.1.2.4.70",
     u"JPEG Lossless, Non-Hierarchical, First-Order Prediction (Process 14 [Selection Value 1]): Default Transfer "
     u"Syntax for Lossless JPEG Image Compression",
     u"非层次无损JPEG[D]"},
    {22, "1.2.840.10008.1.2.4.80", u"JPEG-LS Lossless Image Compression", u"JPEG-LS无损压缩"},
    {23, "1.2.840.10008.1.2.4.81", u"JPEG-LS Lossy (Near-Lossless) Image Compression", u"有损（接近无损）JPEG-LS"},
    {24, "1.2.840.10008.1.2.4.90", u"JPEG 2000 Image Compression (Lossless Only)", u"无损JPEG2000"},
    {25, "1.2.840.10008.1.2.4.91", u"JPEG 2000 Image Compression", u"JPEG2000"},
    {26, "1.2.840.10008.1.2.4.92", u"JPEG 2000 Part 2 Multi-component Image Compression (Lossless Only)",
     u"无损JPEG2000"},
    {27, "1.2.840.10008.1.2.4.93", u"JPEG 2000 Part 2 Multi-component Image Compression", u"JPEG2000"},
    {28, "1.2.840.10008.1.2.4.94", u"JPIP Referenced", u"参考JPIP"},
    {29, "1.2.840.10008.1.2.4.95", u"JPIP Referenced Deflate", u"参考压缩JPIP"},
    {30, "1.2.840.10008.1.2.4.100", u"MPEG2 Main Profile / Main Level", u"主流MPEG2"},
    {31, "1.2.840.10008.1.2.4.101", u"MPEG2 Main Profile / High Level", u"高级MPEG2"},
    {32, "1.2.840.10008.1.2.4.102", u"MPEG-4 AVC/H.264 High Profile / Level 4.1", u"MPEG-4 AVC/H.264 "},
    {33, "1.2.840.10008.1.2.4.103", u"MPEG-4 AVC/H.264 BD-compatible High Profile / Level 4.1",
     u"高级MPEG-4 AVC/H.264 "},
    {34, "1.2.840.10008.1.2.4.104", u"MPEG-4 AVC/H.264 High Profile / Level 4.2 For 2D Video",
     u"2D视频MPEG-4 AVC/H.264 "},
    {35, "1.2.840.10008.1.2.4.105", u"MPEG-4 AVC/H.264 High Profile / Level 4.2 For 3D Video",
     u"3D视频MPEG-4 AVC/H.264 "},
    {36, "1.2.840.10008.1.2.4.106", u"MPEG-4 AVC/H.264 Stereo High Profile / Level 4.2",
     u"立体声MPEG-4 AVC/H.264 "},
    {37, "1.2.840.10008.1.2.4.107", u"HEVC/H.265 Main Profile / Level 5.1", u"主流HEVC/H.265"},
    {38, "1.2.840.10008.1.2.4.108", u"HEVC/H.265 Main 10 Profile / Level 5.1", u"主流10 HEVC/H.265"},
    {39, "1.2.840.10008.1.2.5", u"RLE Lossless", u"无损RLE"},
    {40, "1.2.840.10008.1.2.6.1", u"RFC 2557 MIME encapsulation (Retired)", u"RFC 2557（废弃）"},
    {41, "1.2.840.10008.1.2.6.2", u"XML Encoding (Retired)", u"XML编码（废弃）"},
};

}  // namespace

const TransferSyntaxRow& TransferSyntaxAt(int32_t index) {
  if (index < 0 || index >= kTransferSyntaxCount) index = 0;
  return kRows[index];
}

bool IsAcceptedImageSyntax(int32_t index) {
  static constexpr int32_t kAccepted[] = {0, 1, 2, 3, 21, 24, 25};
  for (int32_t a : kAccepted)
    if (a == index) return true;
  return false;
}

void DetectTransferSyntax(DicomFile& file, const DicomElement& record) {
  const uint8_t* value;
  int32_t count;
  file.ValueSpan(record, value, count);
  // The run of digits and dots at the start of the value; trailing padding
  // (a zero byte or a space) is never part of it.
  size_t k = 0;
  while (k < static_cast<size_t>(count) && ((value[k] >= '0' && value[k] <= '9') || value[k] == '.')) ++k;

  int32_t found = -1;
  for (int32_t i = 0; i < kTransferSyntaxCount; ++i) {
    const char* uid = kRows[i].uid;
    // An empty run (k = 0) is a prefix of every uid, so row 0 matches; an
    // empty value has no bytes to compare at all.
    if (k == 0 || (std::strlen(uid) >= k && std::memcmp(uid, value, k) == 0)) {
      found = i;
      break;
    }
  }
  if (found < 0) return;
  file.transferSyntaxIndex = found;
  if (found == kImplicitLittleRow) file.explicitVr = 0;
  if (found == kExplicitLittleRow) file.explicitVr = 1;
  if (found == kExplicitBigRow) file.littleEndian = 0;
}
