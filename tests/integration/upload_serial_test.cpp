// The paced upload against a simulated FORTH board on a pseudo-terminal
// (ptydev --target): it echoes, works 20 ms on each line and drops whatever
// arrives meanwhile, so a line sent too early is lost.
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
            (dir + "/lines").c_str(), static_cast<char*>(nullptr));
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
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
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
}

TEST_F(UploadSerial, AnErrorStopsAtItsLineThenTheKeysGoOnOrEnd) {
  Use(Write("blink.fs", "1\r2\roops\r4\r5\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 3 of blink.fs: oops not found.-"); }, 5000)) << GridText();
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

  Use(Write("again.fs", "1\roops\r3\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 2 of again.fs"); }, 5000));
  Do(kCmdAbortSend);                     // F8 ends it
  EXPECT_TRUE(Shows("Aborted"));
  usleep(200000);
  EXPECT_EQ(gfSendFileOpen.load(), 0);
}

TEST_F(UploadSerial, ABoardThatNeverAnswersStopsAfterTheTimeout) {
  gUploadTimeoutMs = 300;
  Use(Write("m.fs", "1\rmute\r3\r"));
  Do(kCmdUploadPaced);
  ASSERT_TRUE(WaitFor([] { return Shows("-Stopped at line 2 of m.fs: no reply-"); }, 3000)) << GridText();
  usleep(400000);
  EXPECT_EQ(Lines(), "1\nmute\n");
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
}

}  // namespace
