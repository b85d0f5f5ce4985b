// File send as the device and the user meet it: the bytes that each worker
// pass or key press hands to the transmit buffer, the status texts and the
// messages. The test plays the worker's file-send and flush steps itself.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/posix/filedlg_hook.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"

namespace {

const char kFinished[] = "Transfer Finished, File Closed!";
const std::string kEnded = std::string("Sending|") + kFinished;

class FileSend : public ::testing::Test {
 protected:
  void SetUp() override {
    AbortSendFileQuietly();
    ResetProgramState();
    posixFileDlgReset();
    gfConnected = 1;   // a link that is up; no worker runs, the test plays it
    gPackDelay = 0;
    char tmpl[] = "/tmp/zelto-send-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    AbortSendFileQuietly();
    gfConnected = 0;
    posixSetModemLines(-1);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // Writes the send file and chooses it; a send still open is ended.
  void Use(const std::string& content, const char* name = "send.txt") {
    AbortSendFileQuietly();
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  }
  static int Do(int id) { return DoDISPLAYCommand(nullptr, id); }

  // The worker's flush step: what one transmit writes.
  static std::string Flush() {
    std::string out(reinterpret_cast<const char*>(gComTxBuf), static_cast<size_t>(gComTxLen.load()));
    EmptyCommTxBuffer();
    return out;
  }
  // One worker pass: the file-send step, then the flush.
  static std::string Pass() {
    if (SendFilePending()) SendFileContinue();
    if (gfSendFileOpen == 1 && gSendMode == 0) SendCommBlock();
    if (gLinePtr < gLineMax) SendCommLine();
    const std::string out = Flush();
    // With a per-byte delay each byte leaves in a transmit of its own;
    // without one, a pass hands on what the queue holds.
    EXPECT_LE(out.size(), gPackDelay == 0 ? static_cast<size_t>(kLineQueueSize) : 1u);
    return out;
  }
  static std::string Passes(int n) {
    std::string out;
    for (int i = 0; i < n; i++) out += Pass();
    return out;
  }
  static bool Busy() { return (gfSendFileOpen == 1 && gSendMode == 0) || gLinePtr < gLineMax || SendFilePending(); }
  // Passes until nothing of the transfer is left to send.
  static std::string RunOut() {
    std::string out;
    for (int i = 0; i < 1000000 && Busy(); i++) out += Pass();
    return out;
  }
  // A command key, then what the worker sends because of it.
  static std::string Key(int id) {
    Do(id);
    return RunOut();
  }
  // The screen's rows that hold text, top to bottom, joined by '|'.
  static std::string Screen() {
    std::string s;
    for (int r = 0; r < kScreenRows; r++) {
      const std::string row = GridRow(r);
      if (row.empty()) continue;
      if (!s.empty()) s += '|';
      s += row;
    }
    return s;
  }

  std::string dir;
};

TEST_F(FileSend, RawModeSendsEveryByteOnceInOrderAndEnds) {
  std::string all;
  for (int i = 0; i < 256; i++) all += static_cast<char>(i);
  std::string back(all.rbegin(), all.rend());
  const std::vector<std::string> files = {all + back, "ab/", "/", "//", "/x", "a//b", "a/*b*/c", "x\r\ny\r"};
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    Use(f);
    Do(kCmdSendRaw);
    EXPECT_EQ(Screen(), "Sending");
    EXPECT_EQ(gfSendFileOpen, 1);
    EXPECT_EQ(RunOut(), f);
    EXPECT_EQ(gfSendFileOpen, 0);
    EXPECT_EQ(Screen(), kEnded);
    EXPECT_EQ(CursorColumn(), 0);
    ClearDISPLAYScreen();
  }
  EXPECT_EQ(headlessMessageCount(), 0);

  // An empty file: nothing goes out, the end shows at the first pass.
  Use("");
  Do(kCmdSendRaw);
  EXPECT_EQ(Pass(), "");
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(Screen(), kEnded);
  EXPECT_EQ(RunOut(), "");
}

TEST_F(FileSend, RawModeSkipsBlockCommentsOnlyWhenAsked) {
  gfSkipBigComment = 1;
  struct Case {
    std::string file, sent;
  };
  const std::vector<Case> cases = {
      {"a/**/b", "ab"},
      {"a/***/b", "ab"},
      {"a/* a **/b", "ab"},
      {"a/*/b*/c", "ac"},
      {std::string("\x00\xff/*\x01*\x02*/\x80", 10), std::string("\x00\xff\x80", 3)},
      {"//*x*/", "//*x*/"},   // the '*' behind a '/' pair starts nothing
      {"/*a*//*b*/c", "c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Use(c.file);
    Do(kCmdSendRaw);
    EXPECT_EQ(RunOut(), c.sent);
    EXPECT_EQ(Screen(), kEnded);
    ClearDISPLAYScreen();
  }

  // A file that ends inside a comment ends the transfer with the end texts.
  Use("ok/* never closed *");
  Do(kCmdSendRaw);
  EXPECT_EQ(RunOut(), "ok");
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(Screen(), kEnded);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(FileSend, RawModeDotsFollowThe999thAndThe2999thCountedByte) {
  // The '/' pair goes out through the held-back path and is not counted.
  Use("/x" + std::string(3000, 'a'));
  Do(kCmdSendRaw);
  // With no delay a pass sends several bytes; it ends with the one a dot follows.
  std::string out;
  size_t firstDot = 0, secondDot = 0;
  while (out.size() < 2 + 2999) {
    out += Pass();
    if (!firstDot && Screen() == "Sending|.") firstDot = out.size();
    if (!secondDot && Screen() == "Sending|..") secondDot = out.size();
  }
  EXPECT_EQ(firstDot, 2 + 999u);
  EXPECT_EQ(secondDot, 2 + 2999u);
  out += RunOut();
  EXPECT_EQ(out, "/x" + std::string(3000, 'a'));
}

TEST_F(FileSend, LineModeSendsOneUnitPerKeyPress) {
  Use("A\rB");
  EXPECT_EQ(Key(kCmdSendLine), "") << "the first key press only opens the file";
  EXPECT_EQ(Screen(), "Sending");
  EXPECT_EQ(gfSendFileOpen, 1);
  EXPECT_EQ(Key(kCmdSendLine), "A\r");
  EXPECT_EQ(gfSendFileOpen, 1);
  EXPECT_EQ(Key(kCmdSendLine), "B");
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(Screen(), kEnded);
  EXPECT_EQ(Key(kCmdSendLine), "") << "the next press starts the file again";
  EXPECT_EQ(gfSendFileOpen, 1);
  EXPECT_EQ(Key(kCmdSendLine), "A\r");

  AbortSendFileQuietly();
  Use("one\r\ntwo\r\nthree");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), "one\r");
  EXPECT_EQ(Key(kCmdSendLine), "\ntwo\r");
  EXPECT_EQ(Key(kCmdSendLine), "\nthree");

  // With the delimiter '/', the byte read behind a '/' is the one compared.
  gDelimiter = '/';
  Use("ab/cd//ef");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), "ab/cd//");
  EXPECT_EQ(Key(kCmdSendLine), "ef");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(FileSend, LineModeBlockCommentEndsTheUnitBeforeIt) {
  gfSkipBigComment = 1;
  Use("x /* c */ y\r/* only */z\rw");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), "x ");
  EXPECT_EQ(Key(kCmdSendLine), " y\r");
  EXPECT_EQ(Key(kCmdSendLine), "");
  EXPECT_EQ(Key(kCmdSendLine), "z\r");
  EXPECT_EQ(Key(kCmdSendLine), "w");

  gfSkipBigComment = 0;
  Use("x /* c */ y\r");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), "x /* c */ y\r");

  // The text before a "/*" goes out unfiltered in mode 2, the rest filtered.
  gfSkipBigComment = 1;
  Use("a ( b /* c */ d ( e\r");
  Key(kCmdSendLineSkip);
  EXPECT_EQ(Key(kCmdSendLineSkip), "a ( b ");
  EXPECT_EQ(Key(kCmdSendLineSkip), " d \r");
}

TEST_F(FileSend, ModeTwoLeavesOutLineComments) {
  Use(": SQ ( n -- n*n ) DUP * ;\r"
      "// note\r"
      "( note )\r"
      "  // note\r"
      "\n// note\r"
      "(x y\r"
      "a / b\r"
      "a(");
  Key(kCmdSendLineSkip);
  EXPECT_EQ(Key(kCmdSendLineSkip), ": SQ \r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "") << "a comment line vanishes, delimiter and all";
  EXPECT_EQ(Key(kCmdSendLineSkip), "");
  EXPECT_EQ(Key(kCmdSendLineSkip), "  \r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "\n\r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "(x y\r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "a / b\r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "a(") << "'(' as the file's last byte starts no comment";
  EXPECT_EQ(Screen(), kEnded);
}

TEST_F(FileSend, KeyPressReplacesTheUnsentRestOfTheLastUnit) {
  Use("first line\rsecond\rabc\r// x\rdef\r");
  Key(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(Passes(3), "fir");
  EXPECT_EQ(Key(kCmdSendLine), "second\r");
  Do(kCmdSendLineSkip);
  EXPECT_EQ(Pass(), "a");
  EXPECT_EQ(Key(kCmdSendLineSkip), "") << "an all-comment line replaces the rest with nothing";
  EXPECT_EQ(Key(kCmdSendLineSkip), "def\r");
}

TEST_F(FileSend, SwitchingModesDuringASendLosesNoByte) {
  gPackDelay = 1;   // one raw byte a pass, so that a key comes between two
  // F5 during a line-mode send: the rest of the file streams raw, silently.
  Use("l1\rl2\rrest");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), "l1\r");
  Do(kCmdSendRaw);
  EXPECT_EQ(RunOut(), "l2\rrest");
  EXPECT_EQ(headlessMessageCount(), 0);

  // F5 while a line is still going out: the line is finished, then raw.
  Use("hello\rworld");
  Key(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(Pass(), "h");
  Do(kCmdSendRaw);
  EXPECT_EQ(RunOut(), "ello\rworld");

  // F6 during a raw send reads the next line at once.
  Use("abc\rdef\r");
  Do(kCmdSendRaw);
  EXPECT_EQ(Pass(), "a");
  EXPECT_EQ(Key(kCmdSendLine), "bc\r");
  EXPECT_EQ(Key(kCmdSendLine), "def\r");

  // A byte held back behind a '/' leads the line.
  Use("a/xy\rz");
  Do(kCmdSendRaw);
  EXPECT_EQ(Passes(2), "a/");
  EXPECT_EQ(Key(kCmdSendLine), "xy\r");
  EXPECT_EQ(Key(kCmdSendLine), "z");

  // A byte the raw reader queued but the worker did not send yet, too.
  Use("abc\rd");
  Do(kCmdSendRaw);
  SendCommBlock();
  EXPECT_EQ(Key(kCmdSendLine), "abc\r");
  EXPECT_EQ(Key(kCmdSendLine), "d");

  // One already handed to the transmit buffer, waiting out its delay.
  Use("abc\rd");
  Do(kCmdSendRaw);
  SendCommBlock();
  SendCommLine();
  Do(kCmdSendLine);
  std::string out = Flush();
  out += RunOut();
  EXPECT_EQ(out, "abc\r");

  // A held-back byte that is the delimiter ends the line by itself.
  gDelimiter = 'x';
  Use("a/xyz");
  Do(kCmdSendRaw);
  EXPECT_EQ(Passes(2), "a/");
  EXPECT_EQ(Key(kCmdSendLine), "x");
  EXPECT_EQ(Key(kCmdSendLine), "yz");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(FileSend, AbortStopsEverythingOfTheTransferAndReportsMisuse) {
  gPackDelay = 1;   // one raw byte a pass, so that F8 comes between two
  gfConnected = 0;
  EXPECT_EQ(StopSendFile(), 0);
  ASSERT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).text, "No Connection") << "the link is tested before the transfer";
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);

  gfConnected = 1;
  EXPECT_EQ(StopSendFile(), 0);
  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(1).text, "Cannot Abort because not sending!");
  EXPECT_EQ(headlessMessage(1).caption, "(default)");
  EXPECT_EQ(headlessMessage(1).icon, kIconWarning);
  headlessClearMessages();

  // Raw mode, stopped with a byte held back behind a '/'.
  Use("a/bcdef");
  Do(kCmdSendRaw);
  EXPECT_EQ(Passes(2), "a/");
  EXPECT_EQ(Do(kCmdAbortSend), 1);
  EXPECT_EQ(Screen(), "Sending|Aborted");
  EXPECT_EQ(CursorColumn(), 0);
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(RunOut(), "") << "the held-back byte is dropped";
  EXPECT_EQ(Key(kCmdSendRaw), "a/bcdef") << "a new send starts from the beginning";

  // Line mode, stopped with the rest of a line queued.
  Use("hello\rnext\r");
  Key(kCmdSendLine);
  Do(kCmdSendLine);
  EXPECT_EQ(Pass(), "h");
  StopSendFile();
  EXPECT_EQ(RunOut(), "");
  EXPECT_EQ(headlessMessageCount(), 0);

  // An abort from elsewhere (link closing) tells whether a file was open.
  Use("xyz");
  Do(kCmdSendRaw);
  EXPECT_EQ(AbortSendFileQuietly(), 1);
  EXPECT_EQ(AbortSendFileQuietly(), 0);
  EXPECT_EQ(RunOut(), "");
}

TEST_F(FileSend, StartRefusalsAndReadErrors) {
  gszSendPathName[0] = 0;
  Do(kCmdSendRaw);
  ASSERT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).text, "Cannot open Source File!");
  EXPECT_EQ(headlessMessage(0).caption, "(default)");
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(Screen(), "");

  Use("data");
  gfConnected = 0;
  Do(kCmdSendLine);
  EXPECT_EQ(headlessMessage(1).text, "No Connection");
  EXPECT_EQ(headlessMessage(1).caption, "Zelto v3.16");
  gfConnected = 1;

  // CTS handshake with the line down: the link's own warning, nothing opened.
  gfCtsHandsh = 1;
  posixSetModemLines(0);
  Do(kCmdSendLineSkip);
  ASSERT_EQ(headlessMessageCount(), 3);
  EXPECT_EQ(headlessMessage(2).text.rfind("Warning: CTS line is down!", 0), 0u) << headlessMessage(2).text;
  EXPECT_EQ(gfSendFileOpen, 0);
  gfCtsHandsh = 0;
  headlessClearMessages();

  // A folder is no file to send: refused at once.
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", dir.c_str());
  headlessClearMessages();
  Do(kCmdSendRaw);
  EXPECT_EQ(gfSendFileOpen, 0);
  EXPECT_EQ(headlessCountMessages("Cannot open Source File!"), 1);

  // A file that opens but cannot be read (its first page is not mapped).
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", "/proc/self/mem");
  for (int id : {kCmdSendRaw, kCmdSendLine}) {
    headlessClearMessages();
    Do(id);
    ASSERT_EQ(gfSendFileOpen, 1);
    sendCommByte('t');   // a typed byte waiting: the read error keeps it
    if (id == kCmdSendRaw) {
      Pass();
    } else {
      Do(id);
    }
    EXPECT_EQ(gfSendFileOpen, 0) << id;
    EXPECT_EQ(Flush(), id == kCmdSendRaw ? "" : "t") << id;   // the raw pass flushed it
    ASSERT_EQ(headlessMessageCount(), 1) << id;
    EXPECT_EQ(headlessMessage(0).text, "File Read Error!");
    EXPECT_EQ(headlessMessage(0).caption, "(default)");
    EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
    EXPECT_EQ(RunOut(), "");
  }
}

TEST_F(FileSend, LongLinesGoOutWholeWithOneKeyPress) {
  const std::string x600(600, 'x');
  Use(x600 + "\rnext\r");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), x600 + "\r");
  EXPECT_EQ(Key(kCmdSendLine), "next\r");

  // A run of 10000 bytes with no delimiter, to the end of the file.
  std::string run;
  for (int i = 0; i < 10000; i++) run += static_cast<char>('A' + i % 26);
  Use(run);
  ClearDISPLAYScreen();
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), run);
  EXPECT_EQ(Screen(), kEnded);

  // Mode 2 beyond the read buffer: a comment after 5000 bytes, a comment
  // pair split by the buffer's end, a '(' there that starts none, and a
  // comment line longer than the buffer.
  const std::string y(4094, 'y');
  Use(std::string(5000, 'x') + " // c\r" + y + "( z\r" + y + "(x\r" + "// " + std::string(6000, 'c') + "\rok\r");
  Key(kCmdSendLineSkip);
  EXPECT_EQ(Key(kCmdSendLineSkip), std::string(5000, 'x') + " \r");
  EXPECT_EQ(Key(kCmdSendLineSkip), y + "\r");
  EXPECT_EQ(Key(kCmdSendLineSkip), y + "(x\r");
  EXPECT_EQ(Key(kCmdSendLineSkip), "");
  EXPECT_EQ(Key(kCmdSendLineSkip), "ok\r");

  // Long text before a block comment.
  gfSkipBigComment = 1;
  Use(std::string(700, 'a') + "/* c */b\r");
  Key(kCmdSendLine);
  EXPECT_EQ(Key(kCmdSendLine), std::string(700, 'a'));
  EXPECT_EQ(Key(kCmdSendLine), "b\r");
}

TEST_F(FileSend, KeyPressDuringALongLineDropsItsRestAndSendsTheNext) {
  for (int len : {1000, 5000}) {
    SCOPED_TRACE(len);
    Use(std::string(len, 'x') + "\rnext\rlast");
    Key(kCmdSendLine);
    Do(kCmdSendLine);
    std::string out;
    for (int i = 0; i < 10; i++) out += Pass();
    EXPECT_EQ(Key(kCmdSendLine), "next\r");
    EXPECT_EQ(Key(kCmdSendLine), "last");
  }

  // F5 in the middle of a long line sends all the rest raw, the byte that
  // the comment filter was holding at the read buffer's end included.
  const std::string y(4094, 'y');
  Use(y + "( rest\rt");
  Key(kCmdSendLineSkip);
  Do(kCmdSendLineSkip);
  std::string out;
  for (int i = 0; i < 10; i++) out += Pass();
  Do(kCmdSendRaw);
  out += RunOut();
  EXPECT_EQ(out, y + "( rest\rt");
}

TEST_F(FileSend, SendFileDialogOpensWithTheCurrentPathEvenIfNeverPrepared) {
  gofSendName = OpenFileRecord{};   // window creation did not prepare it
  static int mainWindow;
  ghDISPLAYWnd = &mainWindow;
  std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", "/old/path.txt");
  posixFileDlgAnswer(nullptr);
  EXPECT_EQ(SendFileOpenDlg(), 0);
  EXPECT_EQ(posixFileDlgShown(), 1);
  EXPECT_STREQ(gszSendPathName, "/old/path.txt") << "Cancel changes nothing";
  EXPECT_EQ(posixFileDlgLastStartPath(), "/old/path.txt");

  const OpenFileRecord r = posixFileDlgLastRecord();
  EXPECT_EQ(r.lStructSize, 76u);
  EXPECT_EQ(r.hwndOwner, &mainWindow);
  EXPECT_EQ(r.hInstance, nullptr);
  const char filter[] =
      "Text Files (*.TXT)\0*.txt\0FORTH Files (*.fs;*.fth;*.4th;*.f;*.frt;*.forth)\0"
      "*.fs;*.fth;*.4th;*.f;*.frt;*.forth\0All Files (*.*)\0*.*\0";
  ASSERT_NE(r.lpstrFilter, nullptr);
  EXPECT_EQ(std::memcmp(r.lpstrFilter, filter, sizeof filter), 0);
  EXPECT_EQ(r.lpstrCustomFilter, nullptr);
  EXPECT_EQ(r.nFilterIndex, 1u);
  EXPECT_EQ(r.lpstrFile, gszSendPathName);
  EXPECT_EQ(r.nMaxFile, 260u);
  EXPECT_EQ(r.lpstrFileTitle, gszSendName);
  EXPECT_EQ(r.nMaxFileTitle, 260u);
  EXPECT_EQ(r.lpstrInitialDir, nullptr);
  EXPECT_EQ(r.lpstrTitle, nullptr);
  EXPECT_EQ(r.Flags, 4097u);
  EXPECT_STREQ(r.lpstrDefExt, "txt");
  EXPECT_EQ(r.lpfnHook, nullptr);
  EXPECT_EQ(r.lpTemplateName, nullptr);

  // Choosing a file during a send changes only the next start.
  Use("from A", "a.txt");
  gPackDelay = 1;   // one byte a pass: the choice comes in the middle
  Do(kCmdSendRaw);
  EXPECT_EQ(Pass(), "f");
  const std::string b = dir + "/b.txt";
  std::ofstream(b, std::ios::binary) << "from B";
  posixFileDlgAnswer(b.c_str(), 2);   // the user chose the FORTH filter
  EXPECT_EQ(Do(kCmdSelectSendFile), 1);
  EXPECT_EQ(std::string(gszSendPathName), b);
  EXPECT_STREQ(gszSendName, "b.txt");
  EXPECT_NE(GridText().find("-Send file: " + b + "-"), std::string::npos) << "the screen says which";
  EXPECT_EQ(RunOut(), "rom A");
  EXPECT_EQ(Key(kCmdSendRaw), "from B");
  // The next dialog opens on that filter, at that file.
  EXPECT_EQ(gSendFilter.load(), kSendFilterForth);
  posixFileDlgAnswer(nullptr);
  SendFileOpenDlg();
  EXPECT_EQ(posixFileDlgLastRecord().nFilterIndex, 2u);
  EXPECT_EQ(posixFileDlgLastStartPath(), b);
  ghDISPLAYWnd = nullptr;
}

}  // namespace
