// Receive recording as the user and the record file see it: the commands,
// their status texts and messages, and the file's bytes. The test plays the
// worker's write of each received block.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/posix/filedlg_hook.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "tests/support/state.h"
#include "transfer/record.h"

namespace {

const char kFinished[] = "Transfer Finished, File Closed!";

class Record : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseRecFileQuietly();
    ResetProgramState();
    posixFileDlgReset();
    gfConnected = 1;
    char tmpl[] = "/tmp/zelto-rec-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/ZELTO.REC";
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", path.c_str());
  }
  void TearDown() override {
    CloseRecFileQuietly();
    gfConnected = 0;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static int Do(int id) { return DoDISPLAYCommand(nullptr, id); }
  // A block received by the worker while recording runs.
  static void Receive(const std::string& s) {
    if (gfRecRecv == 1) RecordReceivedBlock(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()));
  }
  std::string File() const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Makes every further write to the open record file fail.
  static void BreakRecordFile(const std::string& p) {
    const int ro = open(p.c_str(), O_RDONLY);
    ASSERT_GE(ro, 0);
    ASSERT_GE(dup2(ro, static_cast<int>(ghRecFile)), 0);
    close(ro);
  }

  std::string dir, path;
};

TEST_F(Record, PauseAndResumeKeepOnlyTheRecordedBytesWithAMarker) {
  std::string all;
  for (int i = 0; i < 256; i++) all += static_cast<char>(i);
  Do(kCmdRecordShown);
  EXPECT_EQ(gfRecFileOpen, 1);
  EXPECT_EQ(gfRecRecv, 1);
  EXPECT_EQ(GridRow(0), "-Recording-");
  EXPECT_EQ(gByteCount.load(), 1800);
  Receive("P" + all);
  Do(kCmdPauseRecord);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(gfRecFileOpen, 1);
  EXPECT_EQ(GridRow(0), "-Recording--PaUsE-");
  Receive("Q");
  Do(kCmdPauseRecord);   // another marker
  Do(kCmdRecordShown);
  EXPECT_EQ(GridRow(0), "-Recording--PaUsE--PaUsE--Recording-");
  gByteCount = 5;
  Do(kCmdRecordShown);   // running: no second status text, the count stays
  EXPECT_EQ(GridRow(0), "-Recording--PaUsE--PaUsE--Recording-");
  EXPECT_EQ(gByteCount.load(), 5);
  Receive("R");
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), "P" + all + "-PaUsE--PaUsE-R");
  EXPECT_EQ(GridRow(0), "-Recording--PaUsE--PaUsE--Recording-" + std::string(kFinished));
  EXPECT_EQ(CursorColumn(), 0);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(headlessMessageCount(), 0);

  // Hex display changes neither the file nor the status texts.
  ClearDISPLAYScreen();
  gfHexPrint = 1;
  Do(kCmdRecordQuiet);
  EXPECT_EQ(GridRow(0), "-Recording-Quietly-");
  Receive("\x01\x02");
  Do(kCmdPauseRecord);
  EXPECT_EQ(gfRecQuiet, 1) << "a paused quiet recording stays quiet";
  Do(kCmdCloseRecord);
  EXPECT_EQ(File(), "\x01\x02-PaUsE-") << "a new recording empties the file";
  EXPECT_EQ(gfRecQuiet, 0);
  EXPECT_EQ(gfHexPrint, 1);
}

TEST_F(Record, CloseAndPauseWithoutAFile) {
  gfRecQuiet = 1;
  Do(kCmdCloseRecord);
  EXPECT_EQ(GridRow(0), kFinished);
  EXPECT_EQ(CursorColumn(), 0);
  EXPECT_EQ(gfRecQuiet, 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  ClearDISPLAYScreen();
  Do(kCmdPauseRecord);
  EXPECT_EQ(PauseRecReceive(), 0);
  EXPECT_EQ(GridRow(0), "");
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Record, RefusalsKeepTheDisplayChoiceOfTheCommand) {
  gfConnected = 0;
  Do(kCmdRecordQuiet);
  ASSERT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).text, "No Connection");
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecQuiet, 1);
  EXPECT_EQ(GridRow(0), "");

  gfConnected = 1;
  const std::string missing = dir + "/no/such/folder/x.rec";
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", missing.c_str());
  EXPECT_EQ(StartRecReceive(), 0);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(1).text, "Cannot open Rec File!");
  EXPECT_EQ(headlessMessage(1).caption, "Zelto v3.16");
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(gfRecQuiet, 1);

  // F11 with the link gone ends the recording; what was written stays.
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", path.c_str());
  Do(kCmdRecordShown);
  Receive("kept");
  gfConnected = 0;
  EXPECT_EQ(PauseRecReceive(), 0);
  EXPECT_EQ(headlessMessage(2).text, "No Connection");
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(File(), "kept");
}

TEST_F(Record, WriteFailuresEndTheRecordingWithTheirOwnMessages) {
  gfRecQuiet = 1;
  ASSERT_EQ(StartRecReceive(), 1);
  Receive("before");
  BreakRecordFile(path);
  Receive("lost");
  ASSERT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).text, "Record File Write Error!");
  EXPECT_EQ(headlessMessage(0).caption, "(default)");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecQuiet, 1) << "the display stays quiet until F9 or F12";
  EXPECT_EQ(File(), "before");

  ASSERT_EQ(StartRecReceive(), 1);
  BreakRecordFile(path);
  EXPECT_EQ(PauseRecReceive(), 0);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(1).text, "Rec File Write Error!");
  EXPECT_EQ(headlessMessage(1).caption, "Zelto v3.16");
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecQuiet, 1);
  EXPECT_EQ(GridRow(0).find("-PaUsE-"), std::string::npos);
}

TEST_F(Record, RecordFileDialogAllowsANewNameEvenIfNeverPrepared) {
  gofRecName = OpenFileRecord{};
  const std::string chosen = dir + "/new.rec";
  posixFileDlgAnswer(chosen.c_str());
  EXPECT_EQ(RecFileOpenDlg(), 1);
  EXPECT_EQ(std::string(gszRecPathName), chosen);
  EXPECT_STREQ(gszRecName, "new.rec");
  EXPECT_EQ(posixFileDlgLastStartPath(), path);
  const OpenFileRecord r = posixFileDlgLastRecord();
  EXPECT_EQ(r.lStructSize, 76u);
  const char filter[] = "Receive Record Files (*.REC)\0*.Rec\0";
  ASSERT_NE(r.lpstrFilter, nullptr);
  EXPECT_EQ(std::memcmp(r.lpstrFilter, filter, sizeof filter), 0);
  EXPECT_EQ(r.Flags, 2048u);
  EXPECT_STREQ(r.lpstrDefExt, "Rec");
  EXPECT_EQ(r.nMaxFile, 260u);
  EXPECT_EQ(r.nMaxFileTitle, 260u);
  EXPECT_EQ(r.lpstrFile, gszRecPathName);
  EXPECT_EQ(r.lpstrFileTitle, gszRecName);

  // The chosen name is created by the next start; Cancel changes nothing.
  posixFileDlgAnswer(nullptr);
  EXPECT_EQ(RecFileOpenDlg(), 0);
  EXPECT_EQ(std::string(gszRecPathName), chosen);
  Do(kCmdRecordShown);
  Receive("x");
  Do(kCmdCloseRecord);
  std::ifstream in(chosen, std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "x");
}

}  // namespace
