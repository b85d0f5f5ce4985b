// The options file ZELTO.INI as a user who edits it by hand sees it: what a
// start reads from it, and what Save Setup writes back.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
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
#include "settings/serial_options.h"
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
            "timestamps = 0\ntimestamps_in_record = 0\nstatus_bar = 0\nscrollback_lines = 10000\n"
            "emulation = none\nvt_charset = utf8\nvt_size = auto\nbackspace_sends = DEL\n\n"
            "[serial]\ndevice =\nbaud = 0\ndata_bits = 8\nparity = none\nstop_bits = 1\nflow = none\n\n"
            "[transfer]\nxmodem_1k = 1\nreceive_folder =\n\n[files]\nsend_filter = TEXT\n");
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
        "prompt = ok;|a=b\r\n"
        "[serial]\r\n"
        "baud = 921600\r\n"
        "flow = XONXOFF\r\n");
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
            "emulation = none\r\nvt_charset = utf8\r\nvt_size = auto\r\nbackspace_sends = DEL\r\n"
            "\r\n"
            "[mine]\r\n"
            "x = 1\r\n"
            "[upload]\r\n"
            "# FORTH words may hold ; and = \r\n"
            "prompt = ok;|a=b\r\n"
            "continue_prompts = compiled\r\n"
            "errors = not found|Undefined word|?|Stack underflow|compile-only|\\x15\r\n"
            "timeout_ms = 5000\r\n"
            "[serial]\r\n"
            "baud = 921600\r\n"
            "flow = xonxoff\r\n"
            "device =\r\ndata_bits = 8\r\nparity = none\r\nstop_bits = 1\r\n"
            "\r\n[transfer]\r\nxmodem_1k = 1\r\nreceive_folder =\r\n\r\n[files]\r\nsend_filter = TEXT\r\n");
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
        "\n[terminal]\nenter_sends = TAB\nstatus_bar = 2\ntimestamps = 1\nnewline_on_lf\nscrollback_lines = 1000001\n"
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
  EXPECT_EQ(gScrollbackLines.load(), 10000);
  for (const char* bad : {"", "12x", "99", "600001", "1e3"})
    EXPECT_EQ(OptionParse(3, bad), 0) << bad;   // timeout_ms keeps its value
  EXPECT_EQ(gUploadTimeoutMs.load(), 5000);
}

TEST_F(OptionsFile, Vt100OptionsRoundTripAndBadOnesReadAsTheirDefaults) {
  Write("[terminal]\nemulation = VT100\nvt_charset = cp437\nvt_size = 80x24\nbackspace_sends = bs\n");
  ASSERT_EQ(LoadOptions(), 1);
  int32_t cols = 0, rows = 0;
  EXPECT_EQ(VtSizeOption(&cols, &rows), 1);
  EXPECT_EQ(cols * 1000 + rows, 80024);
  ASSERT_EQ(SaveOptions(), 1);
  EXPECT_NE(Read().find("emulation = vt100\nvt_charset = cp437\nvt_size = 80x24\nbackspace_sends = BS\n"),
            std::string::npos);
  Write("[terminal]\nemulation = vt220\nvt_charset = ebcdic\nvt_size = 200x24\nbackspace_sends = ^H\n");
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_EQ(gEmulation.load(), kEmulationNone);
  EXPECT_EQ(gVtCharset.load(), kVtCharsetUtf8);
  EXPECT_EQ(VtSizeOption(&cols, &rows), 0);
  EXPECT_EQ(gBackspaceSends.load(), kBackspaceDel);
  EXPECT_STREQ(OptionsLoadNote(), "\r-ZELTO.INI: vt_size takes auto or COLSxROWS from 2x2 to 80x128; its default is used-\r");
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

  // The serial port's rows, each refused with its row named; an entry of
  // the port's list is taken without its description.
  const int device = OptionIndex("serial", "device"), baud = OptionIndex("serial", "baud");
  const int stop = OptionIndex("serial", "stop_bits");
  headlessClearMessages();
  texts[device] = "/dev/null";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), device);
  texts[device] = "/dev/ttyUSB7  (cp210x, USB 10c4:ea60 CP2102)";
  texts[baud] = "4000001";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), baud);
  texts[baud] = "74880";
  texts[stop] = "1.5";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), stop);
  ASSERT_EQ(headlessMessageCount(), 3);
  EXPECT_EQ(headlessMessage(0).text,
            "Serial port (empty: Setup's):\ntakes the path of a serial device such as /dev/ttyUSB0, or nothing for "
            "the Setup dialog's port.");
  EXPECT_EQ(headlessMessage(1).text,
            "Baud rate (0: Setup's):\ntakes 0 for the Setup dialog's rate, or a whole rate from 50 to 4000000.");
  EXPECT_EQ(headlessMessage(2).text, "Stop bits:\ntakes 1.5 only with 5 data bits, and 2 only with 6 to 8.");
  EXPECT_EQ(gSerialBaud.load(), 0);
  gfCtsHandsh = 1;
  texts[OptionIndex("serial", "flow")] = "xonxoff";
  texts[stop] = "1";
  EXPECT_EQ(OptionsStoreFields(nullptr, texts.data()), -1);
  EXPECT_STREQ(gszSerialDevice, "/dev/ttyUSB7");
  EXPECT_EQ(gSerialBaud.load(), 74880);
  EXPECT_EQ(gfCtsHandsh, 0) << "xonxoff ends the CTS handshake";
}

// The [serial] rows: what is no serial port or rate is refused, and in the
// file gets its default and one text per key.
TEST_F(OptionsFile, SerialValuesThatNameNoPortOrRateGetTheirDefaults) {
  const std::string file = (dir_ / "notes.txt").string(), fifo = (dir_ / "fifo").string();
  std::ofstream(file) << "x";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int device = OptionIndex("serial", "device"), baud = OptionIndex("serial", "baud");
  std::string longPath(300, 'd');
  longPath[0] = '/';
  for (const std::string& bad : {file, dir_.string(), fifo, std::string("/dev/null"), longPath,
                                 std::string("NUL"), std::string("CON"), std::string("COM0"), std::string("COM257"),
                                 file + "/ttyUSB0"})
    EXPECT_EQ(OptionCheck(device, bad.c_str()), 0) << bad;
  for (const char* good : {"", "/dev/ttyUSB7", "/dev/serial/by-id/usb-none", " /dev/ttyACM0  (cdc_acm, USB 2e8a:000a) "})
    EXPECT_EQ(OptionCheck(device, good), 1) << good;
  for (const char* bad : {"49", "4000001", "1", "fast", "-9600", "74880.5"}) EXPECT_EQ(OptionCheck(baud, bad), 0) << bad;
  for (const char* good : {"0", "50", "74880", "4000000"}) EXPECT_EQ(OptionCheck(baud, good), 1) << good;

  Write("[serial]\ndevice = " + file + "\nbaud = 49\ndata_bits = 9\nparity = weird\nstop_bits = 2\nflow = rtscts\n");
  ASSERT_EQ(LoadOptions(), 1);
  EXPECT_STREQ(gszSerialDevice, "");
  EXPECT_EQ(gSerialBaud.load() + gSerialParity.load(), 0);
  EXPECT_EQ(gSerialDataBits.load(), 8);
  EXPECT_EQ(gSerialStopBits.load(), kStopTwo);
  EXPECT_EQ(gfCtsHandsh, 1) << "rtscts is the Setup dialog's CTS box";
  const std::string note = OptionsLoadNote();
  EXPECT_EQ(note.substr(0, note.find('\r', 1) + 1),
            "\r-ZELTO.INI: device takes the path of a serial device such as /dev/ttyUSB0, or nothing for the Setup "
            "dialog's port; its default is used-\r");
  for (const char* key : {"device", "baud", "data_bits", "parity"})
    EXPECT_NE(note.find(std::string("-ZELTO.INI: ") + key + " takes "), std::string::npos) << note;
  Write("[serial]\ndata_bits = 5\nstop_bits = 2\n");
  gfCtsHandsh = 1;   // the preset's CTS box, and no flow in the file
  LoadOptions();
  EXPECT_EQ(gSerialStopBits.load(), kStopOne);
  EXPECT_EQ(gSerialFlow.load(), kFlowRtsCts);
  EXPECT_STREQ(OptionsLoadNote(),
               "\r-ZELTO.INI: stop_bits takes 1.5 only with 5 data bits, and 2 only with 6 to 8; its default is used-\r");
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
