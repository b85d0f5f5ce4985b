// The options file ZELTO.INI as a user who edits it by hand sees it: what a
// start reads from it, and what Save Setup writes back.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "display/screen.h"
#include "settings/globals.h"
#include "platform/posix/headless.h"
#include "settings/options.h"
#include "settings/options_dlg.h"
#include "settings/preset.h"
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
  std::string Read(const char* name = "ZELTO.INI") {
    std::ifstream in(dir_ / name, std::ios::binary);
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
            "[upload]\nprompt = ok|compiled\ncontinue_prompts = compiled\n"
            "errors = not found|Undefined word|?|Stack underflow|compile-only|\\x15\n"
            "timeout_ms = 5000\n\n[terminal]\nnewline_on_lf = 0\nenter_sends = CR\n"
            "timestamps = 0\ntimestamps_in_record = 0\nstatus_bar = 0\n\n[transfer]\nxmodem_1k = 1\nreceive_folder = \n"
            "\n[files]\nsend_filter = TEXT\n");
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
            "newline_on_lf = 0\r\ntimestamps_in_record = 0\r\nstatus_bar = 1\r\n"
            "\r\n"
            "[mine]\r\n"
            "x = 1\r\n"
            "[upload]\r\n"
            "# FORTH words may hold ; and = \r\n"
            "prompt = ok;|a=b\r\n"
            "continue_prompts = compiled\r\n"
            "errors = not found|Undefined word|?|Stack underflow|compile-only|\\x15\r\n"
            "timeout_ms = 5000\r\n"
            "\r\n[transfer]\r\nxmodem_1k = 1\r\nreceive_folder = \r\n\r\n[files]\r\nsend_filter = TEXT\r\n");
  gfStatusBar = 0;
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gfStatusBar.load(), 1);
}

// Windows editors put a UTF-8 byte-order mark before the first section.
TEST_F(OptionsFile, AByteOrderMarkIsReadAndKept) {
  Write("\xEF\xBB\xBF[upload]\r\ntimeout_ms = 700\r\n");
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gUploadTimeoutMs.load(), 700);
  ASSERT_EQ(SaveOptions(), 1);
  const std::string saved = Read();
  EXPECT_EQ(saved.rfind("\xEF\xBB\xBF[upload]\r\ntimeout_ms = 700\r\nprompt = ", 0), 0u) << saved;
  EXPECT_EQ(saved.find("[upload]"), saved.rfind("[upload]")) << "one [upload] section: " << saved;
  gUploadTimeoutMs = 1;
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gUploadTimeoutMs.load(), 700);
}

// Save Setup onto a disk that is full, then onto one with room for the
// preset but not for the options: the old files stay whole, nothing of a
// new one is left behind, and the screen says which was not saved. The
// disk is a tmpfs of 64 KiB mounted over the folder in a mount namespace of
// one thread alone (root only).
TEST_F(OptionsFile, SaveSetupOntoAFullDiskKeepsTheOldFilesWhole) {
  bool mounted = false;
  std::thread disk([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("zelto-test", dir_.c_str(), "tmpfs", 0, "size=64k") != 0)
      return;
    mounted = true;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    // The user's file, three pages of it.
    Write("; " + std::string(3 * page - 100, '-') + "\n[terminal]\ntimestamps = 0\n");
    ASSERT_EQ(LoadOptions(), 1);
    DoDISPLAYCommand(nullptr, kCmdSaveSetup);
    EXPECT_NE(GridText().find("-Setup saved to " + (dir_ / "ZELTO.SET").string() + "-"), std::string::npos);
    const std::string oldSet = Read("ZELTO.SET"), oldIni = Read();
    ASSERT_EQ(oldSet.size(), 630u);
    for (std::ofstream fill(dir_ / "filler"); fill << std::string(page, 'f') << std::flush;) {
    }
    const auto files = [&] { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); };
    gfLocalEcho = 1;
    gfTimeStamps = 1;
    ClearDISPLAYScreen();
    DoDISPLAYCommand(nullptr, kCmdSaveSetup);
    EXPECT_EQ(headlessCountMessages("Preset Write Error!"), 1);
    EXPECT_NE(GridText().find("-Setup not saved to " + (dir_ / "ZELTO.SET").string() + "-"), std::string::npos);
    EXPECT_EQ(Read("ZELTO.SET"), oldSet);
    EXPECT_EQ(Read(), oldIni);
    EXPECT_EQ(files(), 3);

    // A page or two free: the preset fits, the options do not.
    fs::resize_file(dir_ / "filler", (fs::file_size(dir_ / "filler") / page - 1) * page);
    ClearDISPLAYScreen();
    DoDISPLAYCommand(nullptr, kCmdSaveSetup);
    EXPECT_NE(GridText().find("-Options not saved to " + (dir_ / "ZELTO.INI").string() + "-"), std::string::npos);
    EXPECT_EQ(Read("ZELTO.SET")[3], 1) << "local echo saved";
    EXPECT_EQ(Read(), oldIni);
    EXPECT_EQ(files(), 3);
    umount(dir_.c_str());
  });
  disk.join();
  if (!mounted) GTEST_SKIP() << "no tmpfs could be mounted (root is needed)";
}

TEST_F(OptionsFile, BadValuesReadAsTheirDefaults) {
  Write("[upload]\ntimeout_ms = -5\nprompt = " + std::string(kUploadListMax, 'x') + "\nerrors = " +
        std::string(kUploadListMax - 1, 'y') +
        "\n[terminal]\nenter_sends = TAB\nstatus_bar = 2\ntimestamps = 1\nnewline_on_lf\n"
        "[elsewhere]\ntimeout_ms = 7\n\0garbage\xff"
        "\n");
  gUploadTimeoutMs = 1;
  gEnterSends = kEnterLf;
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
  // A list longer than the bound is not cut: its default is used, and the
  // fresh screen says so; one just inside the bound is taken whole.
  EXPECT_STREQ(gszUploadPrompt, "ok|compiled");
  EXPECT_STREQ(OptionsLoadNote(), "\r-ZELTO.INI: prompt is longer than 4095 characters, its default is used-\r");
  EXPECT_EQ(std::string(gszUploadErrors), std::string(kUploadListMax - 1, 'y'));
  EXPECT_EQ(gEnterSends.load(), kEnterCr);
  EXPECT_EQ(gfStatusBar.load(), 0);
  EXPECT_EQ(gfTimeStamps.load(), 1);
  for (const char* bad : {"", "12x", "99", "600001", "1e3"})
    EXPECT_EQ(OptionParse(3, bad), 0) << bad;   // timeout_ms keeps its value
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
  texts[5] = OptionsStateText(5, kEnterCrLf);
  texts[8] = OptionsStateText(8, 1);
  texts[3] = "50";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), 3);
  texts[3] = "2500";
  texts[2] = tooLong.c_str();
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), 2);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(0).text, "Reply timeout (ms):\ntakes a whole number from 100 to 600000.");
  EXPECT_EQ(headlessMessage(1).text, "Error texts that stop an upload:\ntakes a text of at most 4095 characters.");
  EXPECT_STREQ(gszUploadPrompt, "ok|compiled");
  EXPECT_EQ(gEnterSends.load(), kEnterCr);
  EXPECT_EQ(gfStatusBar.load(), 0);

  texts[2] = fields[2].c_str();
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
