// The paced upload against a simulated FORTH board on a pseudo-terminal
// (ptydev --target): it echoes, works 20 ms on each line and drops whatever
// arrives meanwhile, so a line sent too early is lost; inside a definition
// it answers "compiled", and an error throws the definition away.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "display/keyboard.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class UploadSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    AbortSendFileQuietly();
    ResetProgramState();
    char tmpl[] = "/tmp/zelto-upload-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    pid = fork();
    if (pid == 0) {
      execl(ZELTO_PTYDEV, "ptydev", "--link", (dir + "/link").c_str(), "--target", "20", "--lines",
            (dir + "/lines").c_str(), "--rx", (dir + "/rx").c_str(), "--rate", Rate(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return Slurp(dir + "/link").find('\n') != std::string::npos; }, 5000));
    std::string path = Slurp(dir + "/link");
    path.pop_back();
    posixSetComDevice(1, path.c_str());
    ASSERT_EQ(openConnection(), 1);
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    AbortSendFileQuietly();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    posixSetComDevice(1, nullptr);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  virtual const char* Rate() { return "0"; }   // bytes a second the board sends (0: no limit)
  // Written to a new name and renamed over the old, as editors save.
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path + ".new", std::ios::binary) << content;
    std::filesystem::rename(path + ".new", path);
    return path;
  }
  static size_t Count(const std::string& text) {
    size_t n = 0;
    for (size_t at = GridText().find(text); at != std::string::npos; at = GridText().find(text, at + 1)) n++;
    return n;
  }
  void Use(const std::string& path) { std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str()); }
  static void Do(int id) { DoDISPLAYCommand(nullptr, id); }
  static bool Shows(const std::string& text) { return GridText().find(text) != std::string::npos; }
  std::string Lines() { return Slurp(dir + "/lines"); }

  pid_t pid = -1;
  std::string dir;
};

TEST_F(UploadSerial, EveryLineArrivesThoughTheBoardDropsWhatComesWhileItWorks) {
  std::string file, want;
  for (int i = 1; i <= 60; i++) {
    const std::string line = ": w" + std::to_string(i) + " " + std::to_string(i) + " ;";
    file += line + "  \\ comment\r\r( stack )\r";
    want += line + "  \n";
  }
  Use(Write("prog.fs", file));
  Do(kCmdUploadPacedSkip);
  ASSERT_TRUE(WaitFor([] { return Shows("Transfer Finished, File Closed!"); }, 20000)) << GridText();
  EXPECT_TRUE(Shows("-Uploaded 60 lines in ")) << GridText();
  EXPECT_EQ(Lines(), want);
  EXPECT_EQ(gfSendFileOpen.load(), 0);

  // A line nearly as long as the buffer, due while typed bytes still wait
  // there (held back by a break), waits for room: nothing overflows.
  const std::string longLine(4000, 'x');
  Use(Write("long.fs", longLine + "\r"));
  Do(kCmdSendBreak);
  ASSERT_TRUE(WaitFor([] {
    int got[16];
    const int n = posixTakeSerialControls(got, 16);
    return std::find(got, got + n, kControlBreak | 1) != got + n;
  }, 2000));
  for (int i = 0; i < 200; i++) sendCommByte(' ');
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 1 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 0);
  EXPECT_EQ(Lines(), want + std::string(200, ' ') + longLine + "\n");

  // A line that fills the buffer exactly behind them is no overflow either.
  const std::string exact(kTxBufSize - 200 - 1, 'y');
  Use(Write("exact.fs", exact + "\r"));
  Do(kCmdSendBreak);
  ASSERT_TRUE(WaitFor([] {
    int got[16];
    const int n = posixTakeSerialControls(got, 16);
    return std::find(got, got + n, kControlBreak | 1) != got + n;
  }, 2000));
  for (int i = 0; i < 200; i++) sendCommByte('-');
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Count("-Uploaded 1 lines in ") == 2; }, 5000)) << GridText();
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 0);
  EXPECT_EQ(Lines(), want + std::string(200, ' ') + longLine + "\n" + std::string(200, '-') + exact + "\n");
}

TEST_F(UploadSerial, AnyLineEndsUploadTheSameEachLineFollowedByEnter) {
  // No end after the last line, LF, CR LF, mixed: the delimiter (CR) does
  // not matter, and every line goes out with Enter's bytes.
  const char* files[] = {"1\r2\r3", "1\n2\n3\n", "1\r\n2\r\n3\r\n", "1\n2\r\n3\r", "1\r\n\n2\r\r3\n"};
  int uploads = 0;
  for (const char* text : files) {
    Use(Write("ends.fs", text));
    Do(kCmdUploadPaced);
    ASSERT_TRUE(WaitFor([&] { return Count("-Uploaded 3 lines in ") == static_cast<size_t>(uploads + 1); }, 5000))
        << text << GridText();
    uploads++;
    // The text comes after the reply to the last line.
    EXPECT_LT(GridText().rfind("3 ok"), GridText().rfind("-Uploaded 3 lines"));
  }
  EXPECT_EQ(Slurp(dir + "/rx"), "1\r2\r3\r1\r2\r3\r1\r2\r3\r1\r2\r3\r1\r2\r3\r");
  gEnterSends = kEnterLf;
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Count("-Uploaded 3 lines in ") == 6; }, 5000)) << GridText();
  EXPECT_EQ(Lines(), "1\n2\n3\n1\n2\n3\n1\n2\n3\n1\n2\n3\n1\n2\n3\n1\n2\n3\n");
  EXPECT_EQ(Slurp(dir + "/rx").substr(30), "1\n2\n3\n");
}

TEST_F(UploadSerial, TypedKeysAndPastesWaitWhileAnUploadRuns) {
  std::string file, want;
  for (int i = 1; i <= 30; i++) {
    file += std::to_string(i) + " drop\r";
    want += std::to_string(i) + " drop\n";
  }
  Use(Write("keys.fs", file));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([&] { return Lines().size() > 20; }, 5000));
  for (const char c : std::string("553\r")) ProcessDISPLAYCharacter(nullptr, static_cast<uint8_t>(c));
  headlessSetClipboard("pasted\n", 0);
  Do(kCmdPaste);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 30 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(Lines(), want);
  EXPECT_EQ(Count("-Keys wait: an upload is running, F8 ends it-"), 1u);
  // F8 ends a running upload.
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([&] { return Lines().size() > want.size() + 20; }, 5000));
  Do(kCmdAbortSend);
  EXPECT_TRUE(Shows("Aborted"));
  usleep(100000);
  EXPECT_EQ(Count("-Uploaded 30 lines in "), 1u);
}

TEST_F(UploadSerial, AnErrorStopsAtItsLineThenTheKeysGoOnOrEnd) {
  Use(Write("blink.fs", "1\r2\roops\r4\r5\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 3 of blink.fs: oops not found.-"); }, 5000)) << GridText();
  EXPECT_TRUE(Shows("-Shift+F6 resumes at line 3, F8 ends-"));
  usleep(300000);
  EXPECT_EQ(Lines(), "1\n2\noops\n");   // nothing after the stop
  EXPECT_EQ(gfSendFileOpen.load(), 1);
  headlessClearMessages();
  Do(kCmdTerminal);                      // Setup is refused meanwhile
  EXPECT_EQ(headlessCountMessages("First terminate\nFile Transfer !"), 1);
  Do(kCmdUploadPaced);                   // the same line again: the same stop
  ASSERT_TRUE(WaitFor([&] { return Lines() == "1\n2\noops\noops\n"; }, 3000)) << Lines();
  usleep(200000);
  Do(kCmdSendLine);                      // F6: that line alone
  ASSERT_TRUE(WaitFor([&] { return Lines() == "1\n2\noops\noops\noops\n"; }, 3000)) << Lines();
  usleep(100000);
  Do(kCmdUploadPaced);                   // on from line 4
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 4 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(Lines(), "1\n2\noops\noops\noops\n4\n5\n");

  // An error text as the 17th entry of the list stops it too.
  std::string errors;
  for (int i = 1; i <= 16; i++) errors += "e" + std::to_string(i) + "|";
  std::snprintf(gszUploadErrors, sizeof gszUploadErrors, "%soops", errors.c_str());
  Use(Write("again.fs", "1\roops\r3\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 2 of again.fs: oops not found.-"); }, 3000));
  Do(kCmdAbortSend);                     // F8 ends it
  EXPECT_TRUE(Shows("Aborted"));
  usleep(200000);
  EXPECT_EQ(gfSendFileOpen.load(), 0);
}

TEST_F(UploadSerial, AStopResumesWhereTheDefinitionBeganFromTheFileAsItIsNow) {
  Use(Write("def.fs", "1\r: w\r\r  2\r  oops\r  ;\rw\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 5 of def.fs: oops not found.-"); }, 5000)) << GridText();
  EXPECT_TRUE(Shows("-Shift+F6 resumes at line 2, F8 ends-")) << GridText();
  // The editor replaces the file; going on sends the definition again, whole.
  Write("def.fs", "1\n: w\n\n  2\n  3\n  ;\nw\n");
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 8 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(Lines(), "1\n: w\n  2\n  oops\n: w\n  2\n  3\n  ;\nw\n");
  // A file cut shorter than the line to go on from sends nothing.
  Write("def.fs", "1\r: w\r  oops\r");
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 3 of def.fs: oops not found.-"); }, 5000)) << GridText();
  Write("def.fs", "1\r");
  Do(kCmdUploadPaced);
  EXPECT_TRUE(Shows("-def.fs has fewer than 2 lines now, F8 ends-")) << GridText();
  usleep(200000);
  EXPECT_EQ(Lines(), "1\n: w\n  2\n  oops\n: w\n  2\n  3\n  ;\nw\n1\n: w\n  oops\n");
  Do(kCmdAbortSend);
}

TEST_F(UploadSerial, ABoardThatNeverAnswersOrAFileThatChangesStops) {
  gUploadTimeoutMs = 300;
  Use(Write("m.fs", "1\rmute\r3\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 2 of m.fs: no reply-"); }, 3000)) << GridText();
  usleep(400000);
  EXPECT_EQ(Lines(), "1\nmute\n");
  Do(kCmdAbortSend);

  // Cut in the middle of a line while it goes out: no piece of a line is sent.
  std::string file;
  for (int i = 1; i <= 1000; i++) file += std::to_string(100000 + i) + " drop\r";
  const std::string path = Write("cut.fs", file);
  Use(path);
  const size_t before = Lines().size();
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([&] { return Lines().size() > before + 36; }, 5000));
  std::filesystem::resize_file(path, 5000);   // beyond the first block read, inside a line
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped: cut.fs changed while uploading-"); }, 3000)) << GridText();
  usleep(100000);
  std::string sent = Lines().substr(before);
  std::replace(sent.begin(), sent.end(), '\n', '\r');
  EXPECT_EQ(file.substr(0, sent.size()), sent);   // whole lines of the file, in order
}

class UploadSerialSlowLine : public UploadSerial {
  const char* Rate() override { return "1000"; }
};

TEST_F(UploadSerialSlowLine, ALongLineEchoedSlowlyIsNoTimeout) {
  gUploadTimeoutMs = 300;   // the echo alone takes twice as long
  Use(Write("long.fs", "1\r" + std::string(600, 'x') + "\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 2 lines in "); }, 5000)) << GridText();
}

TEST_F(UploadSerial, IncludesGoInPlaceRequireOnceAndSelfInclusionStops) {
  Write("lib/b.fs", "b1\r#include ../lib/c.fs\r");
  Write("lib/c.fs", "c1\r");
  Use(Write("main.fs", "a\r#include lib/b.fs\r#require lib/c.fs\r#require lib/b.fs\rz\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 4 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(Lines(), "a\nb1\nc1\nz\n");

  Write("lib/c.fs", "c1\r\r#include ../main.fs\r");
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 3 of c.fs: main.fs includes itself-"); }, 5000))
      << GridText();
  Do(kCmdAbortSend);

  // F6 after a stop at a missing file treats the directive as the upload
  // does: never sent; once the file is there, its first line goes.
  Use(Write("two.fs", "a\r#include missing.fs\rz\r"));
  const size_t before = Lines().size();
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 2 of two.fs: cannot open missing.fs-"); }, 5000));
  Do(kCmdSendLine);
  ASSERT_TRUE(WaitFor([] { return Count("-Stopped at line 2 of two.fs: cannot open missing.fs-") == 2; }, 3000));
  Write("missing.fs", "m1\r");
  Do(kCmdSendLine);
  ASSERT_TRUE(WaitFor([&] { return Lines().substr(before) == "a\nm1\n"; }, 3000)) << Lines();
  usleep(100000);
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Uploaded 2 lines in "); }, 5000)) << GridText();
  EXPECT_EQ(Lines().substr(before), "a\nm1\nz\n");
  EXPECT_EQ(Slurp(dir + "/rx").find("#include"), std::string::npos);
}

}  // namespace
