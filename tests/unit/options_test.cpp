// The options file ZELTO.INI as a user who edits it by hand sees it: what a
// start reads from it, and what Save Setup writes back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/globals.h"
#include "platform/posix/headless.h"
#include "settings/options.h"
#include "settings/options_dlg.h"
#include "tests/support/state.h"

namespace fs = std::filesystem;

namespace {

class OptionsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    char tmpl[] = "/tmp/zelto-options-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::snprintf(gszPresetPathName, sizeof gszPresetPathName, "%s/ZELTO.SET", dir_.c_str());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& text) { std::ofstream(dir_ / "ZELTO.INI", std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(dir_ / "ZELTO.INI", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

TEST_F(OptionsFile, MissingFileGivesDefaultsAndSaveWritesEveryKeyUnderItsSection) {
  gfStatusBar = 1;
  EXPECT_EQ(LoadOptions(), 0);
  EXPECT_EQ(gfStatusBar.load(), 0);
  EXPECT_EQ(gszOptionsPathName, (dir_ / "ZELTO.INI").string());
  EXPECT_STREQ(gszUploadPrompt, "ok|compiled");
  EXPECT_STREQ(gszUploadErrors, "not found|Undefined word|?|Stack underflow|compile-only|\\x15");
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
  EXPECT_EQ(gEnterSends.load(), kEnterCr);
  ASSERT_EQ(SaveOptions(), 1);
  EXPECT_EQ(Read(),
            "[upload]\nprompt = ok|compiled\n"
            "errors = not found|Undefined word|?|Stack underflow|compile-only|\\x15\n"
            "timeout_ms = 5000\n\n[terminal]\nnewline_on_lf = 0\nenter_sends = CR\n"
            "timestamps = 0\ntimestamps_in_record = 0\nstatus_bar = 0\nscrollback_lines = 10000\n");
}

TEST_F(OptionsFile, HandEditedFileKeepsCommentsUnknownKeysAndOrderAcrossASave) {
  Write("; my board\r\n"
        "[Terminal]\r\n"
        "  Enter_Sends = cr lf   \r\n"
        "colour = green\r\n"
        "timestamps = yes\r\n"
        "\r\n"
        "[mine]\r\n"
        "x = 1\r\n"
        "[upload]\r\n"
        "# FORTH words may hold ; and = \r\n"
        "prompt = ok;|a=b\r\n");
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gEnterSends.load(), kEnterCrLf);
  EXPECT_EQ(gfTimeStamps.load(), 1);
  EXPECT_STREQ(gszUploadPrompt, "ok;|a=b");
  gfStatusBar = 1;
  ASSERT_EQ(SaveOptions(), 1);
  EXPECT_EQ(Read(),
            "; my board\r\n"
            "[Terminal]\r\n"
            "enter_sends = CRLF\r\n"
            "colour = green\r\n"
            "timestamps = 1\r\n"
            "newline_on_lf = 0\r\ntimestamps_in_record = 0\r\nstatus_bar = 1\r\nscrollback_lines = 10000\r\n"
            "\r\n"
            "[mine]\r\n"
            "x = 1\r\n"
            "[upload]\r\n"
            "# FORTH words may hold ; and = \r\n"
            "prompt = ok;|a=b\r\n"
            "errors = not found|Undefined word|?|Stack underflow|compile-only|\\x15\r\n"
            "timeout_ms = 5000\r\n");
  gfStatusBar = 0;
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gfStatusBar.load(), 1);
}

TEST_F(OptionsFile, BadValuesReadAsTheirDefaults) {
  Write("[upload]\ntimeout_ms = -5\nprompt = " + std::string(400, 'x') +
        "\n[terminal]\nenter_sends = TAB\nstatus_bar = 2\ntimestamps = 1\nnewline_on_lf\nscrollback_lines = 1000001\n"
        "[elsewhere]\ntimeout_ms = 7\n\0garbage\xff"
        "\n");
  gUploadTimeoutMs = 1;
  gEnterSends = kEnterLf;
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
  EXPECT_STREQ(gszUploadPrompt, "ok|compiled");
  EXPECT_EQ(gEnterSends.load(), kEnterCr);
  EXPECT_EQ(gfStatusBar.load(), 0);
  EXPECT_EQ(gfTimeStamps.load(), 1);
  EXPECT_EQ(gScrollbackLines.load(), 10000);
  for (const char* bad : {"", "12x", "99", "600001", "1e3"})
    EXPECT_EQ(OptionParse(2, bad), 0) << bad;   // timeout_ms keeps its value
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
}

// The Options dialog's Ok: one field that does not read is named in a box and
// leaves every option as it was; when all read, all are taken.
TEST_F(OptionsFile, OptionsDialogOkStoresEveryFieldOrNone) {
  ResetOptions();
  headlessClearMessages();
  std::vector<std::string> fields;   // as the dialog opens
  for (int i = 0; i < OptionCount(); i++) {
    char text[kUploadListMax];
    const int32_t state = OptionsFieldState(i, text, sizeof text);
    const bool listed = OptionAt(i).kind == kOptionFlag || OptionAt(i).kind == kOptionChoice;
    fields.push_back(listed ? OptionsStateText(i, state) : text);
  }
  std::vector<const char*> texts;
  for (const std::string& f : fields) texts.push_back(f.c_str());
  const std::string tooLong(kUploadListMax, 'x');
  texts[0] = "ok>";
  texts[4] = OptionsStateText(4, kEnterCrLf);
  texts[7] = OptionsStateText(7, 1);
  texts[2] = "50";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), 2);
  texts[2] = "2500";
  texts[1] = tooLong.c_str();
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), 1);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(0).text, "Reply timeout (ms):\ntakes a whole number from 100 to 600000.");
  EXPECT_EQ(headlessMessage(1).text, "Error texts that stop an upload:\ntakes a text of at most 255 characters.");
  EXPECT_STREQ(gszUploadPrompt, "ok|compiled");
  EXPECT_EQ(gEnterSends.load(), kEnterCr);
  EXPECT_EQ(gfStatusBar.load(), 0);

  texts[1] = fields[1].c_str();
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), -1);
  EXPECT_STREQ(gszUploadPrompt, "ok>");
  EXPECT_STREQ(gszUploadErrors, "not found|Undefined word|?|Stack underflow|compile-only|\\x15");
  EXPECT_EQ(gUploadTimeoutMs.load(), 2500);
  EXPECT_EQ(gEnterSends.load(), kEnterCrLf);
  EXPECT_EQ(gfStatusBar.load(), 1);
  EXPECT_EQ(headlessMessageCount(), 2);
}

TEST_F(OptionsFile, AFileThatIsNoOptionsFileIsNeverWrittenOver) {
  fs::create_directory(dir_ / "ZELTO.INI");
  LoadOptions();
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
  EXPECT_EQ(SaveOptions(), 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "ZELTO.INI"));
  gszPresetPathName[0] = 0;   // no folder for the program's files at all
  EXPECT_EQ(LoadOptions(), 0);
  EXPECT_EQ(SaveOptions(), 0);
}

}  // namespace
