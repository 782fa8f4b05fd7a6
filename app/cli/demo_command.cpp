// tesmer demo DIR: writes a small synthetic study to try the tool on: two
// patients, explicit and implicit VR files, a file with nested sequences and
// private elements, and one with encapsulated (JPEG) pixel data.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/commands.h"
#include "tests/support/dicom_builder.h"

namespace {

using fixture::DicomBuilder;
using fixture::Encoding;
using fixture::kCtImageStorage;

struct DemoPatient {
  const char* name;
  const char* id;
  const char* birthDate;
  const char* sex;
  const char* studyUid;
  const char* studyDate;
};

const DemoPatient kZhang = {"ZHANG^SAN", "P0001", "19650412", "M", "1.2.826.0.1.3680043.9.7433.1.1", "20240105"};
const DemoPatient kLi = {"LI^SI", "P0002", "19781130", "F", "1.2.826.0.1.3680043.9.7433.2.1", "20240212"};

// The group 0008 elements shared by every demo file.
void GeneralElements(DicomBuilder& b, const DemoPatient& p, const std::string& sopUid, const char* seriesDescription,
                     const char* time) {
  fixture::CtImageIdentity(b, sopUid)
      .Text(0x0008, 0x0020, "DA", p.studyDate)
      .Text(0x0008, 0x0021, "DA", p.studyDate)
      .Text(0x0008, 0x0030, "TM", time)
      .Text(0x0008, 0x0050, "SH", "ACC1024")
      .Text(0x0008, 0x0060, "CS", "CT")
      .Text(0x0008, 0x0080, "LO", "DEMO GENERAL HOSPITAL")
      .Text(0x0008, 0x0081, "ST", "1 DEMO ROAD")
      .Text(0x0008, 0x0090, "PN", "WANG^WU")
      .Text(0x0008, 0x103E, "LO", seriesDescription);
}

// The patient module (group 0010).
void PatientElements(DicomBuilder& b, const DemoPatient& p) {
  b.Text(0x0010, 0x0010, "PN", p.name)
      .Text(0x0010, 0x0020, "LO", p.id)
      .Text(0x0010, 0x0030, "DA", p.birthDate)
      .Text(0x0010, 0x0040, "CS", p.sex);
}

void Study(DicomBuilder& b, const DemoPatient& p, const std::string& seriesUid, int instance) {
  b.Uid(0x0020, 0x000D, p.studyUid)
      .Uid(0x0020, 0x000E, seriesUid)
      .Text(0x0020, 0x0010, "SH", "1")
      .Text(0x0020, 0x0013, "IS", std::to_string(instance));
}

void ImagePixels(DicomBuilder& b, uint16_t rows, uint16_t columns) {
  fixture::MonochromePixelModule(b, rows, columns);
  std::vector<uint8_t> pixels(static_cast<size_t>(rows) * columns * 2);
  for (size_t i = 0; i < pixels.size(); i += 2) {
    uint16_t v = static_cast<uint16_t>((i / 2 * 37) % 4096);
    pixels[i] = static_cast<uint8_t>(v);
    pixels[i + 1] = static_cast<uint8_t>(v >> 8);
  }
  b.Element(0x7FE0, 0x0010, "OW", pixels);
}

std::vector<uint8_t> PlainFile(Encoding encoding, const DemoPatient& p, const std::string& seriesUid, int instance,
                               const char* description) {
  std::string sop = seriesUid + "." + std::to_string(instance);
  std::string_view syntax = encoding == Encoding::ImplicitLittle ? fixture::kImplicitLittle : fixture::kExplicitLittle;
  DicomBuilder b(encoding);
  b.Preamble().Meta(syntax, kCtImageStorage, sop);
  GeneralElements(b, p, sop, description, "083015");
  PatientElements(b, p);
  Study(b, p, seriesUid, instance);
  ImagePixels(b, 16, 16);
  return b.Bytes();
}

// A file with nested sequences of both length forms and a private group.
std::vector<uint8_t> SequenceFile(const DemoPatient& p, const std::string& seriesUid) {
  std::string sop = seriesUid + ".3";
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kExplicitLittle, kCtImageStorage, sop);
  GeneralElements(b, p, sop, "CT HEAD 5mm", "083120");
  b.BeginSequence(0x0008, 0x1140)  // Referenced Image Sequence
      .BeginItem()
      .Uid(0x0008, 0x1150, kCtImageStorage)
      .Uid(0x0008, 0x1155, seriesUid + ".1")
      .EndItem()
      .BeginItem(fixture::Length::Defined)
      .Uid(0x0008, 0x1150, kCtImageStorage)
      .Uid(0x0008, 0x1155, seriesUid + ".2")
      .EndItem()
      .EndSequence();
  b.Text(0x0009, 0x0010, "LO", "DEMO PRIVATE")
      .Text(0x0009, 0x1001, "LO", "ZHANG SAN INTERNAL NOTE");
  PatientElements(b, p);
  b.BeginSequence(0x0010, 0x1002, fixture::Length::Defined)  // Other Patient IDs Sequence
      .BeginItem()
      .Text(0x0010, 0x0020, "LO", "OLD-7788")
      .Text(0x0010, 0x0022, "CS", "TEXT")
      .EndItem()
      .EndSequence();
  Study(b, p, seriesUid, 3);
  ImagePixels(b, 8, 8);
  return b.Bytes();
}

// JPEG Baseline pixel data as fragments after an empty offset table.
std::vector<uint8_t> EncapsulatedFile(const DemoPatient& p, const std::string& seriesUid) {
  std::string sop = seriesUid + ".1";
  DicomBuilder b(Encoding::ExplicitLittle);
  b.Preamble().Meta(fixture::kJpegBaseline, kCtImageStorage, sop);
  GeneralElements(b, p, sop, "CT CHEST JPEG", "091500");
  PatientElements(b, p);
  Study(b, p, seriesUid, 1);
  b.US(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2").US(0x0028, 0x0010, 64).US(0x0028, 0x0011, 64);
  b.EncapsulatedPixelData({{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'}, {0x11, 0x22, 0xFF, 0xD9}});
  return b.Bytes();
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace

int RunDemoCommand(int argc, char** argv) {
  if (argc != 1) {
    std::fputs("usage: tesmer demo DIR\n", stderr);
    return 2;
  }
  std::string dir = argv[0];
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "tesmer demo: cannot create %s\n", dir.c_str());
    return 1;
  }
  const std::string zhangHead = std::string(kZhang.studyUid) + ".1";
  const std::string zhangChest = std::string(kZhang.studyUid) + ".2";
  const std::string liSeries = std::string(kLi.studyUid) + ".1";
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } files[] = {
      {"IM0001.dcm", PlainFile(Encoding::ExplicitLittle, kZhang, zhangHead, 1, "CT HEAD 5mm")},
      {"IM0002.dcm", PlainFile(Encoding::ImplicitLittle, kZhang, zhangHead, 2, "CT HEAD 5mm")},
      {"IM0003.dcm", SequenceFile(kZhang, zhangHead)},
      {"IM0004.dcm", EncapsulatedFile(kZhang, zhangChest)},
      {"IM0005.dcm", PlainFile(Encoding::ExplicitLittle, kLi, liSeries, 1, "CT ABDOMEN")},
      {"IM0006", PlainFile(Encoding::ImplicitLittle, kLi, liSeries, 2, "CT ABDOMEN")},
  };
  for (const auto& f : files) {
    std::string path = dir + "/" + f.name;
    if (!WriteFile(path, f.bytes)) {
      std::fprintf(stderr, "tesmer demo: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
