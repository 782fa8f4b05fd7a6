// `tesmer dump [--json] [--log] PATH…` run as a user runs it: the JSON shape
// and its agreement with the analysis, element lines, the log, unreadable
// files among readable ones, and bad arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/dicom_file.h"
#include "analysis/tag_dictionary.h"
#include "analysis/value_text.h"
#include "platform/core/text.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

using fixture::DicomBuilder;
using fixture::Length;

using Outcome = fixture::ProgramRun;

Outcome Dump(std::vector<std::string> args) {
  args.insert(args.begin(), {TESMER_BIN, "dump"});
  return fixture::RunProgram(std::move(args));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A small strict JSON reader: objects keep their keys in order, so that the
// test can check the exact key list; any syntax error fails the parse.
struct Json {
  enum Kind { Null, Number, String, Array, Object, Bool } kind = Null;
  long long number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::string> keys;  // an object's keys in order, and their values
  std::vector<Json> values;

  const Json& operator[](const std::string& key) const {
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return values[i];
    static const Json missing;
    return missing;
  }
  const std::vector<std::string>& Keys() const { return keys; }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& s) : s_(s) {}
  bool Read(Json& out) {
    if (!Value(out)) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Eat(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Str(std::string& out) {
    if (!Eat('"')) return false;
    while (i_ < s_.size() && s_[i_] != '"') {
      unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c < 0x20) return false;
      if (c != '\\') {
        out.push_back(static_cast<char>(c));
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      static const std::map<char, char> kSimple = {{'"', '"'}, {'\\', '\\'}, {'/', '/'}, {'b', '\b'},
                                                   {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'}};
      if (auto it = kSimple.find(e); it != kSimple.end()) {
        out.push_back(it->second);
      } else if (e == 'u' && i_ + 4 <= s_.size()) {
        const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(i_, 4), nullptr, 16));
        i_ += 4;
        if (code >= 0x80) return false;  // the dump writes UTF-8, escaping only control characters
        out.push_back(static_cast<char>(code));
      } else {
        return false;
      }
    }
    return Eat('"');
  }
  bool Value(Json& v) {
    Space();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') {
      v.kind = Json::String;
      return Str(v.text);
    }
    if (c == '{') {
      ++i_;
      v.kind = Json::Object;
      if (Eat('}')) return true;
      do {
        std::string key;
        Json member;
        if (!Str(key) || !Eat(':') || !Value(member)) return false;
        v.keys.push_back(key);
        v.values.push_back(member);
      } while (Eat(','));
      return Eat('}');
    }
    if (c == '[') {
      ++i_;
      v.kind = Json::Array;
      if (Eat(']')) return true;
      do {
        Json item;
        if (!Value(item)) return false;
        v.items.push_back(item);
      } while (Eat(','));
      return Eat(']');
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      size_t used = 0;
      v.kind = Json::Number;
      v.number = std::stoll(s_.substr(i_), &used);
      i_ += used;
      return used > 0 && (i_ >= s_.size() || (s_[i_] != '.' && s_[i_] != 'e' && s_[i_] != 'E'));
    }
    return false;
  }
  const std::string& s_;
  size_t i_ = 0;
};

std::vector<uint8_t> NestedFile() {
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.BeginSequence(0x0008, 0x1140, Length::Defined).BeginItem().Uid(0x0008, 0x1150, "1.2.3").EndItem().EndSequence();
  b.Element(0x0010, 0x0010, "PN", std::vector<uint8_t>{0xD5, 0xC5, 0xC8, 0xFD});  // GBK for 张三
  b.Element(0x0010, 0x4000, "LT", std::string_view("say \"hi\"\\\x01\ttab", 14));
  b.Header(0x0009, 0x1010, "UN", 0xFFFFFFFFu);
  b.SetEncoding(fixture::Encoding::ImplicitLittle).BeginItem().Text(0x0010, 0x0020, "LO", "ID").EndItem();
  b.Raw({0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
  return b.Bytes();
}

TEST(DumpCommand, JsonHasExactlyTheDocumentedShapeAndAgreesWithTheAnalysis) {
  fixture::TempDir dir;
  const std::vector<std::vector<uint8_t>> files = {fixture::BuildSimpleFile({}), NestedFile()};
  const std::vector<std::string> paths = {dir.Write("a.dcm", files[0]), dir.Write("nested.dcm", files[1])};
  const std::string missing = dir.Join("missing.dcm");

  Outcome run = Dump({"--json", paths[0], missing, paths[1]});
  ASSERT_EQ(run.exit, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << "one object per file per line, the unreadable one included";

  const std::vector<std::string> fileKeys = {"path", "status", "transferSyntaxIndex", "explicitVr", "littleEndian",
                                             "elements"};
  const std::vector<std::string> elementKeys = {"tag", "vr", "length", "offset", "end", "depth", "name", "value",
                                                "text"};

  Json unreadable;
  ASSERT_TRUE(JsonReader(lines[1]).Read(unreadable)) << lines[1];
  EXPECT_EQ(unreadable.Keys(), fileKeys);
  EXPECT_EQ(unreadable["path"].text, missing);
  EXPECT_EQ(unreadable["status"].number, -1);
  EXPECT_EQ(unreadable["elements"].kind, Json::Array);
  EXPECT_TRUE(unreadable["elements"].items.empty());
  EXPECT_NE(run.err.find("文件打开失败，分析进程结束"), std::string::npos) << "the log of an unreadable file goes to stderr";

  for (size_t k = 0; k < files.size(); ++k) {
    SCOPED_TRACE(paths[k]);
    Json object;
    const std::string& line = lines[k == 0 ? 0 : 2];
    ASSERT_TRUE(JsonReader(line).Read(object)) << line;
    ASSERT_EQ(object.Keys(), fileKeys);

    DicomFile f;
    f.AnalyseBytes(u"", files[k].data(), files[k].size());
    EXPECT_EQ(object["path"].text, paths[k]);
    EXPECT_EQ(object["status"].number, f.status);
    EXPECT_EQ(object["transferSyntaxIndex"].number, f.transferSyntaxIndex);
    EXPECT_EQ(object["explicitVr"].number, f.explicitVr);
    EXPECT_EQ(object["littleEndian"].number, f.littleEndian);
    const Json& elements = object["elements"];
    ASSERT_EQ(elements.items.size(), static_cast<size_t>(f.elements.length));
    for (int32_t i = 0; i < f.elements.length; ++i) {
      const Json& j = elements.items[static_cast<size_t>(i)];
      const DicomElement& e = f.elements[i];
      ASSERT_EQ(j.Keys(), elementKeys);
      char tag[16];
      std::snprintf(tag, sizeof tag, "%04X,%04X", e.group, e.element);
      EXPECT_EQ(j["tag"].text, tag);
      EXPECT_EQ(j["vr"].text, std::string({static_cast<char>(e.vr & 0xFF), static_cast<char>(e.vr >> 8)}));
      EXPECT_EQ(j["length"].number, e.length);
      EXPECT_EQ(j["offset"].number, e.offset);
      EXPECT_EQ(j["end"].number, e.end);
      EXPECT_EQ(j["depth"].number, e.depth);
      EXPECT_EQ(j["name"].text, NameOfKeyUtf8(e.Key()));
      EXPECT_EQ(j["value"].text, plat::Utf16ToUtf8(ValueText(e, f)));
      EXPECT_EQ(j["text"].text, plat::Utf16ToUtf8(WholeValueText(e, f)));
    }
  }

  // The values that needed care: sequences and undefined lengths, code page
  // text, quotes, backslashes and control characters.
  Json nested;
  ASSERT_TRUE(JsonReader(lines[2]).Read(nested));
  std::map<std::string, const Json*> byTag;
  for (const Json& j : nested["elements"].items) byTag.emplace(j["tag"].text, &j);
  EXPECT_EQ((*byTag.at("0008,1140"))["length"].number, -1);
  EXPECT_EQ((*byTag.at("0008,1150"))["depth"].number, 1);
  EXPECT_EQ((*byTag.at("0010,0010"))["value"].text, "张三");
  EXPECT_EQ((*byTag.at("0010,4000"))["value"].text, "say \"hi\"\\\x01\ttab");
  EXPECT_EQ((*byTag.at("0009,1010"))["length"].number, -1);
  EXPECT_EQ((*byTag.at("0009,1010"))["vr"].text, "UN");
}

TEST(DumpCommand, ElementLinesAndLog) {
  fixture::TempDir dir;
  const std::vector<uint8_t> bytes = NestedFile();
  const std::string path = dir.Write("n.dcm", bytes);
  DicomFile f;
  f.logToText = 1;
  f.Analyse(plat::PathFromNative(path));

  Outcome lines = Dump({path});
  ASSERT_EQ(lines.exit, 0);
  std::string expected = "# " + path + " status " + std::to_string(f.status) + "\n";
  int32_t counter = 0;
  for (const DicomElement& e : f.elements)
    expected += std::string(static_cast<size_t>(e.depth) * 4, ' ') + plat::Utf16ToUtf8(ElementLogLine(e, f, ++counter, ValueForm::Whole)) + "\n";
  EXPECT_EQ(lines.out, expected);
  EXPECT_NE(lines.out.find("\n    "), std::string::npos) << "nested elements are indented";

  Outcome log = Dump({"--log", path});
  ASSERT_EQ(log.exit, 0);
  EXPECT_EQ(log.out, plat::Utf16ToUtf8(f.logText));
}

// The whole text of every text value agrees with what pydicom decodes, for
// files in the character sets pydicom reads right, a sequence item with a set
// of its own among them.
TEST(DumpCommand, TextAgreesWithPydicom) {
  struct Recipe {
    const char* declared;
    const char* name;
    const char* comment;  // LT
  } recipes[] = {
      {"ISO_IR 100", "Buc^J\xe9r\xf4me", "\xc4neas R\xfc" "diger"},
      {"ISO_IR 144", "\xbb\xee\xda" "ce\xdc\xd1yp\xd3", "\xbb\xee"},
      {"ISO_IR 126", "\xc4\xe9\xef\xed\xf5\xf3\xe9\xef\xf2", "\xc4\xe9"},
      {"ISO_IR 127", "\xe2\xc8\xc7\xe6\xea^\xe4\xe6\xd2\xc7\xd1", "\xe2\xc8"},
      {"ISO_IR 138", "\xf9\xf8\xe5\xef^\xe3\xe1\xe5\xf8\xe4", "\xf9\xf8"},
      {"ISO_IR 166", "\xc1\xd2\xc3\xc7\xd4\xb9", "\xc1\xd2"},
      {"ISO_IR 192", "Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1", "\xe7\x8e\x8b line\r\nnext"},
      {"GB18030", "Wang^XiaoDong=\xcd\xf5^\xd0\xa1\xb6\xab", "\xcd\xf5"},
      {"\\ISO 2022 IR 87", "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B", "abc \x1b$B$?$m$&\x1b(B def"},
      {"ISO 2022 IR 13\\ISO 2022 IR 87", "\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x1b$B;3ED\x1b(J^\x1b$BB@O:\x1b(J", "\xd4\xcf"},
      {"\\ISO 2022 IR 149", "Hong^Gildong=\x1b$)C\xfb\xf3^\x1b$)C\xd1\xce\xd4\xd7", "\x1b$)C\xb1\xe8\xc8\xf1\xc1\xdf"},
  };
  fixture::TempDir dir;
  std::vector<std::string> paths;
  for (size_t i = 0; i < std::size(recipes); ++i) {
    const Recipe& r = recipes[i];
    DicomBuilder b;
    b.Preamble().Meta(fixture::kExplicitLittle);
    b.Text(0x0008, 0x0005, "CS", r.declared);
    b.Text(0x0010, 0x0010, "PN", r.name);
    b.Text(0x0010, 0x4000, "LT", r.comment);
    // An item in the next recipe's set.
    const Recipe& other = recipes[(i + 1) % std::size(recipes)];
    b.BeginSequence(0x0032, 0x1064).BeginItem();
    b.Text(0x0008, 0x0005, "CS", other.declared).Text(0x0008, 0x0104, "LO", other.comment);
    b.Text(0x0010, 0x0010, "PN", other.name);
    b.EndItem().EndSequence();
    b.Text(0x4008, 0x0114, "PN", r.name);
    paths.push_back(dir.Write("charset" + std::to_string(i) + ".dcm", b.Bytes()));
  }

  // pydicom's text of every text value in walk order, one JSON array per file.
  static const char kScript[] =
      "import sys, json, warnings\n"
      "warnings.simplefilter('ignore')\n"
      "import pydicom\n"
      "def walk(ds, out):\n"
      "    for el in ds:\n"
      "        if el.VR == 'SQ':\n"
      "            for item in el.value: walk(item, out)\n"
      "        elif el.VR in ('PN', 'LO', 'SH', 'LT', 'ST', 'UT', 'UC'):\n"
      "            out.append(['%04X,%04X' % (el.tag.group, el.tag.elem), str(el.value)])\n"
      "for p in sys.argv[1:]:\n"
      "    out = []\n"
      "    walk(pydicom.dcmread(p), out)\n"
      "    print(json.dumps(out, ensure_ascii=False))\n";
  std::vector<std::string> args = {"/usr/bin/python3", "-c", kScript};
  args.insert(args.end(), paths.begin(), paths.end());
  const fixture::ProgramRun peer = fixture::RunProgram(args);
  ASSERT_EQ(peer.exit, 0) << "pydicom (python3-pydicom) must be installed: " << peer.err;
  const std::vector<std::string> peerLines = Lines(peer.out);
  ASSERT_EQ(peerLines.size(), paths.size());

  std::vector<std::string> dumpArgs = {"--json"};
  dumpArgs.insert(dumpArgs.end(), paths.begin(), paths.end());
  const Outcome run = Dump(dumpArgs);
  ASSERT_EQ(run.exit, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), paths.size());

  const auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(recipes[i].declared);
    Json ours, theirs;
    ASSERT_TRUE(JsonReader(lines[i]).Read(ours)) << lines[i];
    ASSERT_TRUE(JsonReader(peerLines[i]).Read(theirs)) << peerLines[i];
    std::vector<std::string> mine, peers;
    for (const Json& e : ours["elements"].items) {
      const std::string& v = e["vr"].text;
      if (v == "PN" || v == "LO" || v == "SH" || v == "LT" || v == "ST" || v == "UT" || v == "UC")
        mine.push_back(e["tag"].text + " " + trimmed(e["text"].text));
    }
    for (const Json& pair : theirs.items) peers.push_back(pair.items[0].text + " " + trimmed(pair.items[1].text));
    EXPECT_EQ(mine.size(), 5u);
    EXPECT_EQ(mine, peers);
  }
}

// TESMER_CODEPAGE forces one code page for every file, whatever it declares.
TEST(DumpCommand, CodePageVariableForcesOneCodePage) {
  fixture::TempDir dir;
  DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle);
  b.Text(0x0008, 0x0005, "CS", "ISO_IR 192");
  b.Text(0x0010, 0x0010, "PN", "Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1=");
  const std::string path = dir.Write("utf8.dcm", b.Bytes());
  struct {
    const char* codePage;  // null: unset
    const char* name;
  } cases[] = {
      {nullptr, "Wang^XiaoDong=王^小東= "},
      {"GB18030", "Wang^XiaoDong=鐜媈灏忔澅= "},
      {"UTF-8", "Wang^XiaoDong=王^小東= "},
  };
  for (const auto& c : cases) {
    if (c.codePage != nullptr) setenv("TESMER_CODEPAGE", c.codePage, 1);
    const Outcome run = Dump({"--json", path});
    unsetenv("TESMER_CODEPAGE");
    ASSERT_EQ(run.exit, 0) << run.err;
    Json object;
    ASSERT_TRUE(JsonReader(Lines(run.out)[0]).Read(object));
    const Json& name = object["elements"].items.back();
    EXPECT_EQ(name["text"].text, c.name) << (c.codePage ? c.codePage : "unset");
  }
}

TEST(DumpCommand, BadArgumentsPrintUsageAndExitWithTwo) {
  fixture::TempDir dir;
  const std::string path = dir.Write("a.dcm", fixture::BuildSimpleFile({}));
  const std::vector<std::vector<std::string>> cases = {{}, {"--json"}, {"--bogus", path}, {"-x", path}};
  for (const auto& args : cases) {
    Outcome run = Dump(args);
    EXPECT_EQ(run.exit, 2) << testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
  }
}

}  // namespace
