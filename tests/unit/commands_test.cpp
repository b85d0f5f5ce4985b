// The menu and function-key commands as the user meets them: the flags they
// set, the boxes and dialogs they bring up, what they write to the screen.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/commands.h"
#include "platform/posix/filedlg_hook.h"
#include "display/screen.h"
#include "display/view.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "platform/posix/headless_shell.h"
#include "platform/shell.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"

namespace {

const char kFinished[] = "Transfer Finished, File Closed!";

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    headlessShellReset();
    SizeDISPLAY(nullptr, static_cast<uint16_t>(34 * GyChar), static_cast<uint16_t>(80 * GxChar));
    ghDISPLAYWnd = window();
  }
  void TearDown() override {
    gfSendFileOpen = 0;
    gfRecFileOpen = 0;
    gfRecRecv = 0;
    ghDISPLAYWnd = nullptr;
  }
  static WindowHandle window() {
    static int mainWindow;
    return &mainWindow;
  }
  static int Do(int id) { return DoDISPLAYCommand(window(), id); }
};

TEST_F(Commands, StreamKeysDropAndShowTheDisplayStream) {
  EXPECT_EQ(Do(kCmdDropStream), 1);
  EXPECT_EQ(gfDropStream, 1);
  EXPECT_EQ(Do(kCmdDropStream), 1);
  EXPECT_EQ(gfDropStream, 1);
  EXPECT_EQ(Do(kCmdShowStream), 1);
  EXPECT_EQ(gfDropStream, 0);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(Commands, NumbersOutsideTheTableAreIgnored) {
  const std::string before = "some text";
  WriteDISPLAYBlock(before.data(), static_cast<int32_t>(before.size()));
  gfRecFileOpen = 1;
  for (int id : {0, 300, 303, 305, 310, 313, 320, 334, 340, 343, 401, 65535}) {
    EXPECT_EQ(Do(id), 0) << id;
  }
  EXPECT_EQ(GridRow(0), before);
  EXPECT_EQ(gfDropStream, 0);
  EXPECT_EQ(gfRecFileOpen, 1);
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_EQ(gHeadlessShell.dialogRuns, 0);
  EXPECT_EQ(gHeadlessShell.closePosts, 0);
}

TEST_F(Commands, ExitClosesTheWindowInfoShowsTheAboutBoxEraseBlanksTheScreen) {
  Do(kCmdExit);
  EXPECT_EQ(gHeadlessShell.closePosts, 1);
  EXPECT_EQ(gHeadlessShell.lastOwner, window());

  Do(kCmdInfo);
  EXPECT_EQ(gHeadlessShell.dialogRuns, 1);
  EXPECT_EQ(gHeadlessShell.lastDialog, kDialogAbout);
  EXPECT_EQ(gHeadlessShell.lastOwner, window());

  WriteDISPLAYBlock("abc\rdef", 7);
  gfHexPrint = 1;
  Do(kCmdEraseScreen);
  EXPECT_EQ(GridText(), std::string(kScreenCells, ' '));
  EXPECT_EQ(CursorRow(), 0);
  EXPECT_EQ(CursorColumn(), 0);
  EXPECT_EQ(gfHexPrint, 1);
}

TEST_F(Commands, TerminalIsRefusedWhileAFileIsSentOrRecordedOptionsIsNot) {
  gfSendFileOpen = 1;
  gfRecFileOpen = 1;
  Do(kCmdOptions);
  EXPECT_EQ(gHeadlessShell.dialogRuns, 1);
  EXPECT_EQ(gHeadlessShell.lastDialog, kDialogOptions);
  EXPECT_EQ(headlessMessageCount(), 0);
  headlessShellReset();
  gfRecFileOpen = 0;
  Do(kCmdTerminal);
  gfSendFileOpen = 0;
  gfRecFileOpen = 1;
  Do(kCmdTerminal);
  EXPECT_EQ(gHeadlessShell.dialogRuns, 0);
  ASSERT_EQ(headlessMessageCount(), 2);
  for (int i = 0; i < 2; i++) {
    const RecordedMessage m = headlessMessage(i);
    EXPECT_EQ(m.text, "First terminate\nFile Transfer !");
    EXPECT_EQ(m.caption, gszAppName);
    EXPECT_EQ(m.icon, kIconWarning);
    EXPECT_TRUE(m.owned);
  }

  gfRecFileOpen = 0;
  headlessClearMessages();
  Do(kCmdTerminal);
  EXPECT_EQ(gHeadlessShell.dialogRuns, 1);
  EXPECT_EQ(gHeadlessShell.lastDialog, kDialogSetup);
  EXPECT_EQ(gHeadlessShell.lastOwner, window());
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(Commands, SaveSetupWritesThePresetAndOptionsFilesAndSaysWhere) {
  char dir[] = "/tmp/zelto-commands-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/ZELTO.SET";
  std::snprintf(gszPresetPathName, sizeof gszPresetPathName, "%s", path.c_str());
  LoadOptions();
  gfLocalEcho = 1;
  Do(kCmdSaveSetup);
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char rec[700];
  const size_t n = std::fread(rec, 1, sizeof rec, f);
  std::fclose(f);
  EXPECT_EQ(n, 630u);
  EXPECT_EQ(rec[0], 12);
  EXPECT_NE(GridText().find("-Setup saved to " + path + "-"), std::string::npos);
  EXPECT_EQ(unlink((std::string(dir) + "/ZELTO.INI").c_str()), 0) << "the options beside it";
  unlink(path.c_str());
  EXPECT_EQ(rmdir(dir), 0) << "nothing else left there";
}

TEST_F(Commands, RecordKeysChooseTheDisplayBeforeStarting) {
  // A recording runs: F9 and F10 only switch between shown and quiet.
  gfRecFileOpen = 1;
  gfRecRecv = 1;
  Do(kCmdRecordQuiet);
  EXPECT_EQ(gfRecQuiet, 1);
  Do(kCmdRecordShown);
  EXPECT_EQ(gfRecQuiet, 0);
  EXPECT_EQ(gfRecRecv, 1);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(Commands, PauseWithoutARecordFileDoesNothing) {
  gfConnected = 0;
  Do(kCmdPauseRecord);
  EXPECT_EQ(headlessMessageCount(), 0) << "not even the missing link is reported";
  EXPECT_EQ(GridText(), std::string(kScreenCells, ' '));
  EXPECT_EQ(gfRecFileOpen, 0);
}

TEST_F(Commands, CloseRecordFileReportsTheEndEvenWithoutAFile) {
  gfRecQuiet = 1;
  gfHexPrint = 1;
  Do(kCmdCloseRecord);
  EXPECT_EQ(GridRow(0), kFinished) << "shown as characters whatever the display mode";
  EXPECT_EQ(CursorRow(), 1);
  EXPECT_EQ(CursorColumn(), 0);
  EXPECT_EQ(gfRecFileOpen, 0);
  EXPECT_EQ(gfRecRecv, 0);
  EXPECT_EQ(gfRecQuiet, 0);
  EXPECT_EQ(gfHexPrint, 1);
}

TEST_F(Commands, SendKeysSetTheModeThenStartOrReadTheNextLine) {
  // With the link closed a new send is refused with "No Connection", while
  // the next line of a running send ends it quietly: which of the two each
  // key did shows in the messages.
  gfConnected = 0;
  for (int id : {kCmdSendRaw, kCmdSendLine, kCmdSendLineSkip}) {
    headlessClearMessages();
    Do(id);
    EXPECT_EQ(gSendMode, id - kCmdSendRaw);
    EXPECT_EQ(headlessCountMessages("No Connection"), 1) << id;
  }

  gfSendFileOpen = 1;
  headlessClearMessages();
  Do(kCmdSendRaw);
  EXPECT_EQ(gSendMode, 0);
  EXPECT_EQ(gfSendFileOpen, 1) << "F5 during a send only switches the mode";
  EXPECT_EQ(headlessMessageCount(), 0);
  for (int id : {kCmdSendLine, kCmdSendLineSkip}) {
    gfSendFileOpen = 1;
    Do(id);
    EXPECT_EQ(gSendMode, id - kCmdSendRaw);
    EXPECT_EQ(gfSendFileOpen, 0) << id;
    EXPECT_EQ(headlessMessageCount(), 0) << id;
  }

  Do(kCmdAbortSend);
  EXPECT_EQ(headlessCountMessages("No Connection"), 1);

  // The paced uploads: the file dialog first when no file is chosen; a
  // Cancel there starts nothing.
  gszSendPathName[0] = '\0';
  posixFileDlgReset();
  headlessClearMessages();
  for (int id : {kCmdUploadPaced, kCmdUploadPacedSkip}) Do(id);
  EXPECT_EQ(posixFileDlgShown(), 2);
  EXPECT_EQ(headlessMessageCount(), 0);
}

}  // namespace
