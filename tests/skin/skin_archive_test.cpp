// The archive linked into the program must hold every layout and picture the windows open,
// packed the way the framework reads it (deflated, no folders), and every picture a layout
// names must be in it with the size the layout gives it.

#include <algorithm>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "embedded_skin.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};

// Reads every entry of the embedded archive into memory, with its compression method.
class SkinArchive {
 public:
  SkinArchive() {
    auto span = pinvale::EmbeddedSkinArchive();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(span.data(), span.size(), 0, &error);
    if (source == nullptr) return;
    archive_.reset(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive_) {
      zip_source_free(source);
      return;
    }
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(archive_.get(), i, 0, &st) != 0) continue;
      Entry& entry = entries_[st.name];
      entry.method = st.comp_method;
      entry.data.resize(st.size);
      zip_file_t* file = zip_fopen_index(archive_.get(), i, 0);
      if (file == nullptr) continue;
      entry.read_ok =
          zip_fread(file, entry.data.data(), st.size) == static_cast<zip_int64_t>(st.size);
      zip_fclose(file);
    }
  }

  struct Entry {
    Bytes data;
    std::uint16_t method = 0;
    bool read_ok = false;
  };

  bool opened() const { return archive_ != nullptr; }
  const std::map<std::string, Entry>& entries() const { return entries_; }
  const Entry* find(const std::string& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
  }

 private:
  std::unique_ptr<zip_t, ZipCloser> archive_;
  std::map<std::string, Entry> entries_;
};

const SkinArchive& Archive() {
  static const SkinArchive archive;
  return archive;
}

// Every entry the windows open, by name.
const char* const kRequiredEntries[] = {
    "main.xml",
    "SetPIN.xml",
    "ChangePIN.xml",
    "verifyPIN.xml",
    "resetDevice.xml",
    "MsgBox.xml",
    "title_icon.png",
    "Minimize_1.png",
    "Minimize_3.png",
    "Minimize_2.png",
    "Close_1.png",
    "Close_5.png",
    "Close_4.png",
    "Close_Active.png",
    "Close_MouseOver.png",
    "Close_Click.png",
    "Help_Active.png",
    "Help_Highlight.png",
    "Help_Inactive.png",
    "SetPin_Active.png",
    "SetPin_Highlight.png",
    "SetPin_Inactive.png",
    "ChangePin_Active.png",
    "ChangePin_Highlight.png",
    "ChangePin_Inactive.png",
    "VerifyPin_Active.png",
    "VerifyPin_Highlight.png",
    "VerifyPin_Inactive.png",
    "ResetDevice_Active.png",
    "ResetDevice_Highlight.png",
    "ResetDevice_Inactive.png",
    "Tactova-FIDO-UI-Elements-14.png",
    "Tactova-FIDO-UI-Elements-15.png",
    "logo_icon.png",
    "scroll.png",
    "PIN_Button.png",
    "Png_Msg_warning.png",
    "Png_Msg_error.png",
    "Rec_Finger_Add.png",
    "Pass.png",
    "Fail.png",
};

const char* const kLayouts[] = {"main.xml",      "SetPIN.xml",      "ChangePIN.xml",
                                "verifyPIN.xml", "resetDevice.xml", "MsgBox.xml"};

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string Trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// The picture file named by an image attribute: a bare name, or the value of file='...'.
struct ImageRef {
  std::string file;
  bool whole = true;  // no source/dest: the whole picture fills the whole control
};

ImageRef ParseImage(std::string_view value) {
  ImageRef ref;
  const auto file_key = value.find("file='");
  if (file_key == std::string_view::npos) {
    ref.file = Trim(value);
    return ref;
  }
  const auto start = file_key + 6;
  ref.file = std::string(value.substr(start, value.find('\'', start) - start));
  ref.whole = value.find("source=") == std::string_view::npos &&
              value.find("dest=") == std::string_view::npos;
  return ref;
}

// The image attributes inside a Default's value, which is itself a list of name="value".
std::vector<std::string> ImagesInAttributeList(std::string_view list) {
  std::vector<std::string> values;
  std::size_t pos = 0;
  while ((pos = list.find("image=\"", pos)) != std::string_view::npos) {
    const auto start = pos + 7;
    const auto end = list.find('"', start);
    values.emplace_back(list.substr(start, end - start));
    pos = end;
  }
  return values;
}

bool IsImageAttribute(std::string_view name) {
  return EndsWith(name, "image");
}

struct PngSize {
  int width = 0;
  int height = 0;
};

// Width and height from the PNG header, or 0 x 0 when the bytes are not a PNG.
PngSize ReadPngSize(const Bytes& png) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (png.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin()))
    return {};
  auto be32 = [&](std::size_t at) {
    return static_cast<int>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
  };
  return {be32(16), be32(20)};
}

pugi::xml_parse_result ParseLayout(const std::string& name, pugi::xml_document& doc) {
  const auto* entry = Archive().find(name);
  if (entry == nullptr) return {};
  return doc.load_buffer(entry->data.data(), entry->data.size());
}

TEST(SkinArchive, HoldsEveryEntryTheWindowsOpen) {
  ASSERT_TRUE(Archive().opened());
  for (const char* name : kRequiredEntries) {
    EXPECT_NE(Archive().find(name), nullptr) << name;
  }
}

TEST(SkinArchive, EntriesAreDeflatedAtTheTopLevel) {
  ASSERT_TRUE(Archive().opened());
  ASSERT_FALSE(Archive().entries().empty());
  for (const auto& [name, entry] : Archive().entries()) {
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
    EXPECT_EQ(entry.method, ZIP_CM_DEFLATE) << name;
    EXPECT_TRUE(entry.read_ok) << name;
  }
}

// A stale archive (a picture redrawn but not repacked) shows up as a difference here.
TEST(SkinArchive, MatchesTheSkinFolder) {
  std::set<std::string> on_disk;
  for (const auto& file : std::filesystem::directory_iterator(PINVALE_SKIN_DIR)) {
    const auto name = file.path().filename().string();
    if (!EndsWith(name, ".xml") && !EndsWith(name, ".png")) continue;
    on_disk.insert(name);
    const auto* entry = Archive().find(name);
    ASSERT_NE(entry, nullptr) << name;
    std::ifstream in(file.path(), std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, entry->data) << name;
  }
  EXPECT_EQ(on_disk.size(), Archive().entries().size());
}

TEST(SkinArchive, EveryPictureIsAPng) {
  for (const auto& [name, entry] : Archive().entries()) {
    if (!EndsWith(name, ".png")) continue;
    const auto size = ReadPngSize(entry.data);
    EXPECT_GT(size.width, 0) << name;
    EXPECT_GT(size.height, 0) << name;
  }
}

// Displays scaled above 100 % draw "Name@2x.png": every picture has one, of twice its size.
TEST(SkinArchive, EveryPictureHasATwiceSizedOne) {
  int pairs = 0;
  for (const auto& [name, entry] : Archive().entries()) {
    if (!EndsWith(name, ".png") || EndsWith(name, "@2x.png")) continue;
    const std::string twiceName = name.substr(0, name.size() - 4) + "@2x.png";
    const auto* twice = Archive().find(twiceName);
    ASSERT_NE(twice, nullptr) << twiceName;
    const auto one = ReadPngSize(entry.data);
    const auto two = ReadPngSize(twice->data);
    EXPECT_EQ(two.width, one.width * 2) << twiceName;
    EXPECT_EQ(two.height, one.height * 2) << twiceName;
    ++pairs;
  }
  EXPECT_EQ(pairs * 2, static_cast<int>(std::count_if(
                           Archive().entries().begin(), Archive().entries().end(),
                           [](const auto& e) { return EndsWith(e.first, ".png"); })));
}

class Layout : public ::testing::TestWithParam<const char*> {};

TEST_P(Layout, ParsesWithOneWindowAndOneRootContainer) {
  pugi::xml_document doc;
  ASSERT_TRUE(ParseLayout(GetParam(), doc)) << GetParam();
  const auto window = doc.document_element();
  EXPECT_STREQ(window.name(), "Window");
  EXPECT_STREQ(window.attribute("caption").value(), "0,0,0,40");
  int containers = 0;
  for (const auto& child : window.children()) {
    const std::string_view kind = child.name();
    if (kind == "Font" || kind == "Default") continue;
    ++containers;
    EXPECT_EQ(kind, "VerticalLayout");
  }
  EXPECT_EQ(containers, 1);
  // The first font is the layouts' default face.
  const auto font = window.child("Font");
  EXPECT_STREQ(font.attribute("name").value(), "微软雅黑");
  EXPECT_EQ(font.attribute("size").as_int(), 14);
  EXPECT_TRUE(font.attribute("default").as_bool());
}

// Every picture a layout names is in the archive; a picture that fills its control without
// a source or dest rectangle has exactly the control's fixed size, so nothing is stretched.
TEST_P(Layout, PicturesExistAndFitTheirControls) {
  pugi::xml_document doc;
  ASSERT_TRUE(ParseLayout(GetParam(), doc));
  int pictures = 0;
  for (const auto& node : doc.select_nodes("//*")) {
    const auto element = node.node();
    std::vector<std::string> values;
    for (const auto& attr : element.attributes()) {
      if (IsImageAttribute(attr.name())) values.emplace_back(attr.value());
      if (std::string_view(element.name()) == "Default" && std::string_view(attr.name()) == "value")
        for (auto& v : ImagesInAttributeList(attr.value())) values.push_back(std::move(v));
    }
    for (const auto& value : values) {
      const auto ref = ParseImage(value);
      ++pictures;
      const auto* entry = Archive().find(ref.file);
      ASSERT_NE(entry, nullptr) << GetParam() << ": " << value;
      const int width = element.attribute("width").as_int();
      const int height = element.attribute("height").as_int();
      if (!ref.whole || width == 0 || height == 0) continue;
      const auto size = ReadPngSize(entry->data);
      EXPECT_EQ(size.width, width) << ref.file << " in " << GetParam();
      EXPECT_EQ(size.height, height) << ref.file << " in " << GetParam();
    }
  }
  EXPECT_GT(pictures, 0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, Layout, ::testing::ValuesIn(kLayouts), [](const auto& info) {
  std::string name = info.param;
  return name.substr(0, name.find('.'));
});

// Every window but the message box (which sizes itself to its text) has a fixed size.
TEST(SkinLayouts, FixedWindowsPinTheirSize) {
  struct Case {
    const char* layout;
    const char* size;
  };
  const Case cases[] = {{"main.xml", "450,450"},
                        {"SetPIN.xml", "350,300"},
                        {"ChangePIN.xml", "460,360"},
                        {"verifyPIN.xml", "300,280"},
                        {"resetDevice.xml", "260,280"}};
  for (const auto& c : cases) {
    pugi::xml_document doc;
    ASSERT_TRUE(ParseLayout(c.layout, doc)) << c.layout;
    const auto window = doc.document_element();
    EXPECT_STREQ(window.attribute("size").value(), c.size) << c.layout;
    EXPECT_STREQ(window.attribute("mininfo").value(), c.size) << c.layout;
    EXPECT_STREQ(window.attribute("maxinfo").value(), c.size) << c.layout;
  }
  pugi::xml_document box;
  ASSERT_TRUE(ParseLayout("MsgBox.xml", box));
  EXPECT_STREQ(box.document_element().attribute("size").value(), "500,250");
  EXPECT_FALSE(box.document_element().attribute("mininfo"));
}

TEST(SkinLayouts, ResetLayoutStartsWithByteOrderMark) {
  const auto* entry = Archive().find("resetDevice.xml");
  ASSERT_NE(entry, nullptr);
  ASSERT_GE(entry->data.size(), 3u);
  EXPECT_EQ(entry->data[0], 0xEF);
  EXPECT_EQ(entry->data[1], 0xBB);
  EXPECT_EQ(entry->data[2], 0xBF);
}

// The windows look their controls up by these names; a typo in a layout would leave a
// window without its button.
TEST(SkinLayouts, NameEveryControlTheWindowsLookUp) {
  const std::map<std::string, std::vector<std::string>> names = {
      {"main.xml",
       {"btn_about", "minbtn", "closebtn", "btn_Verify", "btn_Enroll", "btn_Format",
        "btn_change_pin", "btn_help", "label_status", "label_icon_key_status", "label_help",
        "switch"}},
      {"SetPIN.xml", {"closebtn", "btn_ok", "edit_pin", "edit_pin2", "label_pin", "label_pin2"}},
      {"ChangePIN.xml",
       {"closebtn", "btn_ok", "edit_pin_old", "edit_pin_new", "edit_pin_new2", "label_old_pin",
        "label_new_pin", "label_new_pin2", "txt_info"}},
      {"verifyPIN.xml", {"closebtn", "btn_ok", "edit_pin", "label_status"}},
      {"resetDevice.xml", {"image_show", "txt_show"}},
      {"MsgBox.xml", {"MsgTitle", "FSTitle", "closebtn", "MsgBox"}},
  };
  for (const auto& [layout, wanted] : names) {
    pugi::xml_document doc;
    ASSERT_TRUE(ParseLayout(layout, doc)) << layout;
    for (const auto& name : wanted) {
      const auto query = "//*[@name='" + name + "']";
      EXPECT_TRUE(doc.select_node(query.c_str())) << name << " in " << layout;
    }
  }
  // The reset dialog has no close button: only its worker closes it.
  pugi::xml_document reset;
  ASSERT_TRUE(ParseLayout("resetDevice.xml", reset));
  EXPECT_FALSE(reset.select_node("//*[@name='closebtn']"));
}

}  // namespace
