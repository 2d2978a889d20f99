// Code-page conversion of 8-bit engine text.

#include <gtest/gtest.h>

#include <string>

#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

// Puts the process code pages back after a test that changes them.
class SavedCodePages {
 public:
  SavedCodePages() : FSystem(GetSystemCodePage()), FOem(GetOemCodePage()) {}
  ~SavedCodePages() {
    SetSystemCodePage(FSystem);
    SetOemCodePage(FOem);
  }

 private:
  std::string FSystem, FOem;
};

TEST(CodePage, Utf8SystemIsIdentity) {
  SavedCodePages saved;
  SetSystemCodePage("utf8");
  EXPECT_EQ(GetSystemCodePage(), "UTF-8");
  const std::string text = "Stra\xC3\x9F" "e \xE2\x82\xAC";
  EXPECT_EQ(ToSystemCodePage(text), text);
  EXPECT_EQ(FromSystemCodePage(text), text);
}

TEST(CodePage, SingleByteSystemAndOem) {
  SavedCodePages saved;
  SetSystemCodePage("ISO-8859-1");
  EXPECT_EQ(ToSystemCodePage("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(FromSystemCodePage("caf\xE9"), "caf\xC3\xA9");
  // A character the code page lacks becomes "?", whatever follows is kept.
  EXPECT_EQ(ToSystemCodePage("1\xE2\x82\xAC=x"), "1?=x");
  // Ill-formed UTF-8 becomes "?" too.
  EXPECT_EQ(ToSystemCodePage("a\xFF" "b\xC3"), "a?b?");
  // OEM (CP850): e-acute is 0x82.
  EXPECT_EQ(GetOemCodePage(), "CP850");
  EXPECT_EQ(SystemToOem("caf\xE9"), "caf\x82");
  EXPECT_EQ(OemToSystem("caf\x82"), "caf\xE9");
  // Box-drawing characters of CP850 have no Latin-1 form.
  EXPECT_EQ(OemToSystem("\xC9\xCD"), "??");
  EXPECT_EQ(ConvertCodePage("", "UTF-8", "CP850"), "");
  // Long texts grow the output as needed.
  std::string many(5000, '\xE9');
  EXPECT_EQ(FromSystemCodePage(many).size(), 10000u);
}

TEST(CodePage, CharacterLengthsInSystemText) {
  SavedCodePages saved;
  SetSystemCodePage("UTF-8");
  EXPECT_TRUE(SystemCodePageIsMultiByte());
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC";
  EXPECT_EQ(SystemCharLength(utf8, 0), 1u);
  EXPECT_EQ(SystemCharLength(utf8, 1), 2u);
  EXPECT_EQ(SystemCharLength(utf8, 3), 3u);
  EXPECT_EQ(SystemCharLength(utf8, 6), 0u);
  SetSystemCodePage("CP1252");
  EXPECT_FALSE(SystemCodePageIsMultiByte());
  EXPECT_EQ(SystemCharLength("\xE9\xE9", 0), 1u);
  // Shift_JIS: a lead byte and its trail byte form one character, even when the trail byte
  // is an ASCII character.
  SetSystemCodePage("SHIFT_JIS");
  EXPECT_TRUE(SystemCodePageIsMultiByte());
  const std::string sjis = "\x83\x5C;";  // katakana "so", whose trail byte is a backslash
  EXPECT_EQ(FromSystemCodePage(sjis).size(), 4u);  // three UTF-8 bytes and the ";"
  EXPECT_EQ(SystemCharLength(sjis, 0), 2u);
  EXPECT_EQ(SystemCharLength(sjis, 2), 1u);
  EXPECT_EQ(SystemCharLength("\x83", 0), 1u);  // a lead byte cut off at the end
}

TEST(CodePage, UnknownNamesRaise) {
  SavedCodePages saved;
  EXPECT_THROW(SetSystemCodePage("NO-SUCH-CHARSET"), EConvertError);
  EXPECT_THROW(SetOemCodePage("CP99999"), EConvertError);
  EXPECT_THROW(ConvertCodePage("x", "UTF-8", "NOPE"), EConvertError);
  EXPECT_EQ(GetOemCodePage(), "CP850");
}

}  // namespace
}  // namespace host
