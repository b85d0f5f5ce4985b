// The preset file as the next start-up and other programs see it: its bytes,
// what a load restores, and what damaged or foreign files do.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/preset.h"
#include "tests/support/state.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Every saved setting and every Old copy, byte for byte.
std::string Settings(bool withRecPath = true) {
  std::string s;
  auto add = [&s](const void* p, size_t n) { s.append(static_cast<const char*>(p), n); };
  auto addInt = [&add](int64_t v) { add(&v, sizeof v); };
  addInt(gbPort);
  addInt(gbOldPort);
  addInt(gdwBaudRate);
  addInt(gdwOldBaudRate);
  addInt(gfCtsHandsh);
  addInt(gfOldCtsHandsh);
  addInt(gfUdpMode);
  addInt(gDelimiter);
  addInt(gPackDelay);
  addInt(gfSkipBigComment);
  addInt(gfLocalEcho);
  addInt(gfHexPrint);
  addInt(gfHexEnter);
  addInt(GxChar);
  addInt(GyChar);
  add(gszIPString, sizeof gszIPString);
  add(gszOldIPString, sizeof gszOldIPString);
  add(gszRX_PortString, sizeof gszRX_PortString);
  add(gszTX_PortString, sizeof gszTX_PortString);
  add(&GlfDISPLAYFont, sizeof GlfDISPLAYFont);
  add(gszSendPathName, sizeof gszSendPathName);
  if (withRecPath) add(gszRecPathName, sizeof gszRecPathName);
  return s;
}

// A program folder of its own with a ZELTO.EXE in it, standing for the
// folder of the executable.
class PresetFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    GlfDISPLAYFont.lfHeight = 3 - GyChar;
    std::snprintf(GlfDISPLAYFont.lfFaceName, sizeof GlfDISPLAYFont.lfFaceName, "Courier New");
    char tmpl[] = "/tmp/zelto-preset-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    UseFolder(dir_);
  }
  void TearDown() override {
    posixSetProgramPath(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Makes folder (created with its ZELTO.EXE) the program's folder.
  static void UseFolder(const fs::path& folder) {
    fs::create_directories(folder);
    WriteFile(folder / "ZELTO.EXE", Bytes{'M', 'Z'});
    posixSetProgramPath((folder / "zelto").c_str());
  }
  fs::path Preset() const { return dir_ / "ZELTO.SET"; }

  fs::path dir_;
};

// A string field that has bytes after its terminator, so that copying the
// field whole is told apart from copying the string.
template <size_t N>
void SetField(char (&field)[N], const char* text) {
  std::memset(field, 0x5A, N);
  std::memcpy(field, text, std::strlen(text) + 1);
}

void SetDistinctSettings() {
  gbPort = 5;
  gdwBaudRate = 57600;
  gfLocalEcho = 1;
  gfHexPrint = 1;
  gfHexEnter = 0;
  gfUdpMode = 1;
  GlfDISPLAYFont.lfHeight = -13;
  GxChar = 9;
  GyChar = 17;
  gPackDelay = 50;
  gDelimiter = 0x3B;
  gfSkipBigComment = 1;
  gfCtsHandsh = 1;
  SetField(gszIPString, "239.1.2.3");
  SetField(gszRX_PortString, "9100");
  SetField(gszTX_PortString, "8100");
  SetField(GlfDISPLAYFont.lfFaceName, "Lucida Console");
  SetField(gszSendPathName, "/home/user/forth/blink program.fs");
  SetField(gszRecPathName, "/home/user/logs/today.rec");
}

TEST_F(PresetFile, SavedThenLoadedGivesBackEverySavedSetting) {
  LoadPreset();
  SetDistinctSettings();
  // A load makes the Old copies the loaded values: the link opens with them.
  gbOldPort = gbPort;
  gdwOldBaudRate = gdwBaudRate;
  gfOldCtsHandsh = gfCtsHandsh;
  std::memcpy(gszOldIPString, gszIPString, sizeof gszIPString);
  const std::string saved = Settings();
  ASSERT_EQ(SavePreset(nullptr), 1);

  ResetProgramState();
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 5);
  EXPECT_EQ(gdwBaudRate, 57600u);
  EXPECT_EQ(gfUdpMode.load(), 1);
  EXPECT_EQ(GlfDISPLAYFont.lfHeight, -13);
  EXPECT_STREQ(GlfDISPLAYFont.lfFaceName, "Lucida Console");
  EXPECT_STREQ(gszOldIPString, "239.1.2.3");
  EXPECT_STREQ(gszSendPathName, "/home/user/forth/blink program.fs");
  EXPECT_STREQ(gszRecPathName, "/home/user/logs/today.rec");
  // Everything saved, the bytes after each string's end included.
  EXPECT_EQ(Settings(), saved);
}

TEST_F(PresetFile, EveryFieldLiesAtItsOffset) {
  LoadPreset();
  SetDistinctSettings();
  gfHexEnter = 1;
  gfHexPrint = 0;
  ASSERT_EQ(SavePreset(nullptr), 1);

  Bytes want(630, 0);
  want[0] = 12;
  want[1] = 5;
  want[2] = 24;   // 57600 / 2400
  want[3] = 1;    // local echo
  want[4] = 0;    // hex display
  want[5] = 1;    // hex entry
  want[6] = 1;    // UDP
  want[7] = 0xF3; // -13
  want[8] = 9;
  want[9] = 17;
  want[10] = 50;
  want[11] = 0x3B;
  want[12] = 1;
  want[13] = 1;
  auto put = [&want](size_t off, size_t width, const char* text) {
    std::memset(&want[off], 0x5A, width);
    std::memcpy(&want[off], text, std::strlen(text) + 1);
  };
  put(14, 32, "239.1.2.3");
  put(46, 16, "9100");
  put(62, 16, "8100");
  put(78, 32, "Lucida Console");
  put(110, 260, "/home/user/forth/blink program.fs");
  put(370, 260, "/home/user/logs/today.rec");

  const Bytes got = ReadFile(Preset());
  ASSERT_EQ(got.size(), 630u);
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(got[i], want[i]) << "offset " << i;
}

TEST_F(PresetFile, EveryRateOfTheListIsStoredExactly) {
  LoadPreset();
  const uint32_t rates[] = {9600, 19200, 38400, 57600, 115200, 230400};
  const uint8_t bytes[] = {4, 8, 16, 24, 48, 96};
  for (int i = 0; i < 6; i++) {
    gdwBaudRate = rates[i];
    ASSERT_EQ(SavePreset(nullptr), 1);
    EXPECT_EQ(ReadFile(Preset())[2], bytes[i]);
    gdwBaudRate = 1;
    ASSERT_EQ(LoadPreset(), 1);
    EXPECT_EQ(gdwBaudRate, rates[i]);
    EXPECT_EQ(gdwOldBaudRate, rates[i]);
  }
}

TEST_F(PresetFile, ShortForeignOrMissingFilesChangeNothing) {
  const std::string initial = Settings(false);
  const std::string defaultRec = (dir_ / "ZELTO.REC").string();
  EXPECT_EQ(LoadPreset(), 0);   // no file at all
  EXPECT_EQ(Settings(false), initial);
  EXPECT_EQ(std::string(gszRecPathName), defaultRec);

  Bytes good(630, 1);
  good[0] = 12;
  Bytes shortFile(good.begin(), good.end() - 1);
  Bytes older = good;
  older[0] = 11;
  Bytes newer = good;
  newer[0] = 13;
  for (const Bytes& b : {shortFile, older, newer, Bytes{}}) {
    WriteFile(Preset(), b);
    EXPECT_EQ(LoadPreset(), 0) << "size " << b.size() << " format " << (b.empty() ? -1 : b[0]);
    EXPECT_EQ(Settings(false), initial);
    EXPECT_EQ(std::string(gszRecPathName), defaultRec);
  }
  EXPECT_EQ(headlessMessageCount(), 0);
  // The same record with its format byte right is taken.
  WriteFile(Preset(), good);
  EXPECT_EQ(LoadPreset(), 1);
  EXPECT_NE(Settings(false), initial);
  // A pipe under the preset's name is refused without waiting for a writer
  // (the alarm ends a start-up that would hang).
  fs::remove(Preset());
  ASSERT_EQ(mkfifo(Preset().c_str(), 0600), 0);
  const std::string before = Settings(false);
  alarm(10);
  EXPECT_EQ(LoadPreset(), 0);
  alarm(0);
  EXPECT_EQ(Settings(false), before);
}

TEST_F(PresetFile, LongerFileIsAcceptedAndOnlyItsFirst630BytesCount) {
  Bytes b(631, 0);
  b[0] = 12;
  b[1] = 3;
  b[2] = 4;
  b[629] = 0;
  b[630] = 'X';
  std::memcpy(&b[370], "/data/rec", 10);
  WriteFile(Preset(), b);
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 3);
  EXPECT_EQ(gdwBaudRate, 9600u);
  EXPECT_STREQ(gszRecPathName, "/data/rec");
}

TEST_F(PresetFile, FieldsOutOfRangeAreReadAsTheirDefaultsAndNamedInOneStatusText) {
  Bytes b(630, 0);
  b[0] = 12;
  b[1] = 200;    // a port no list offers
  b[2] = 128;    // a rate no list produces (-307200)
  b[3] = 0xFF;   // a flag that is neither 0 nor 1
  b[7] = 0xF3;   // the rest is in range: bytes come back signed
  b[8] = 7;
  b[9] = 14;
  b[10] = 0x80;  // a delay of -128 ms
  b[11] = 0xFF;  // any byte is a delimiter
  b[13] = 1;
  WriteFile(Preset(), b);
  gDelimiter = 0x0D;
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 1);
  EXPECT_EQ(gbOldPort, 1);
  EXPECT_EQ(gdwBaudRate, 115200u);
  EXPECT_EQ(gdwOldBaudRate, gdwBaudRate);
  EXPECT_EQ(gfLocalEcho, 0);
  EXPECT_EQ(GlfDISPLAYFont.lfHeight, -13);
  EXPECT_EQ(GxChar, 7);
  EXPECT_EQ(GyChar, 14);
  EXPECT_EQ(gPackDelay.load(), 10);
  EXPECT_EQ(gDelimiter.load() & 0xFF, 0xFF);
  EXPECT_EQ(gfCtsHandsh, 1);
  EXPECT_EQ(gfOldCtsHandsh, 1);
  EXPECT_STREQ(PresetDamageText(), "\r-Preset damaged, reset: port, baud rate, local echo, delay-\r");
  // An empty string field loads as an empty string.
  EXPECT_STREQ(gszIPString, "");
  EXPECT_STREQ(gszRecPathName, "");

  // A zero or negative character cell, which no font gives, leaves the cell
  // as it was: the window is sized and the view divided by it.
  b[1] = 3;
  b[2] = 0xFF;   // -2400 baud
  b[3] = 1;
  b[8] = 0;
  b[9] = 0xF0;
  b[10] = 5;
  WriteFile(Preset(), b);
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 3);
  EXPECT_EQ(gdwBaudRate, 115200u);
  EXPECT_EQ(GxChar, 7);
  EXPECT_EQ(GyChar, 14);
  EXPECT_STREQ(PresetDamageText(), "\r-Preset damaged, reset: baud rate, cell width, cell height-\r");
  // What is saved is whole again, and reads without a word.
  ASSERT_EQ(SavePreset(nullptr), 1);
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_STREQ(PresetDamageText(), "");
}

TEST_F(PresetFile, DamagedFileLoadsWithEveryStringTerminatedWithinItsWidth) {
  auto checkStrings = [] {
    EXPECT_LT(std::strlen(gszIPString), sizeof gszIPString);
    EXPECT_LT(std::strlen(gszOldIPString), sizeof gszOldIPString);
    EXPECT_LT(std::strlen(gszRX_PortString), sizeof gszRX_PortString);
    EXPECT_LT(std::strlen(gszTX_PortString), sizeof gszTX_PortString);
    EXPECT_LT(std::strlen(GlfDISPLAYFont.lfFaceName), sizeof GlfDISPLAYFont.lfFaceName);
    EXPECT_LT(std::strlen(gszSendPathName), sizeof gszSendPathName);
    EXPECT_LT(std::strlen(gszRecPathName), sizeof gszRecPathName);
  };

  // No zero anywhere: every field is cut at its last byte.
  Bytes full(630, 'A');
  full[0] = 12;
  WriteFile(Preset(), full);
  ASSERT_EQ(LoadPreset(), 1);
  checkStrings();
  EXPECT_EQ(std::string(gszIPString), std::string(31, 'A'));
  EXPECT_EQ(std::string(gszRecPathName), std::string(259, 'A'));
  EXPECT_EQ(SavePreset(nullptr), 1);

  std::mt19937 rng(20240613);
  for (int round = 0; round < 50; round++) {
    Bytes b(630);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    b[0] = 12;
    WriteFile(Preset(), b);
    ResetProgramState();
    ASSERT_EQ(LoadPreset(), 1);
    checkStrings();
    // The loaded settings can be saved again.
    EXPECT_EQ(SavePreset(nullptr), 1);
  }
}

TEST_F(PresetFile, PathsNameTheProgramFolder) {
  const fs::path blanks = dir_ / "my programs" / "zelto 3";
  UseFolder(blanks);
  EXPECT_EQ(LoadPreset(), 0);
  EXPECT_EQ(std::string(gszPresetPathName), (blanks / "ZELTO.SET").string());
  EXPECT_EQ(std::string(gszRecPathName), (blanks / "ZELTO.REC").string());
  // "Save Setup" with no preset yet creates it there.
  ASSERT_EQ(SavePreset(nullptr), 1);
  EXPECT_EQ(ReadFile(blanks / "ZELTO.SET").size(), 630u);
  // A loaded preset's record path replaces the computed one.
  SetField(gszRecPathName, "/elsewhere/x.rec");
  ASSERT_EQ(SavePreset(nullptr), 1);
  gszRecPathName[0] = 0;
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_STREQ(gszRecPathName, "/elsewhere/x.rec");
}

TEST_F(PresetFile, ProgramNotFoundNamesBareFilesAndTooLongFolderNamesNone) {
  const fs::path cwd = fs::current_path();
  const fs::path work = dir_ / "cwd";
  fs::create_directories(work);
  fs::current_path(work);

  // No ZELTO.EXE in the program's folder: names relative to the current one.
  posixSetProgramPath((dir_ / "nothing-here" / "zelto").c_str());
  EXPECT_EQ(LoadPreset(), 0);
  EXPECT_STREQ(gszPresetPathName, "ZELTO.SET");
  EXPECT_STREQ(gszRecPathName, "ZELTO.REC");

  // A folder whose path does not fit: no file is read or written anywhere,
  // in particular not in the current folder.
  fs::path deep = dir_;
  for (int i = 0; i < 3; i++) deep /= std::string(100, static_cast<char>('a' + i));
  UseFolder(deep);
  WriteFile(work / "ZELTO.SET", Bytes(630, 12));
  gbPort = 1;
  EXPECT_EQ(LoadPreset(), 0);
  EXPECT_EQ(gbPort, 1);
  EXPECT_STREQ(gszPresetPathName, "");
  EXPECT_STREQ(gszRecPathName, "");
  fs::remove(work / "ZELTO.SET");
  EXPECT_EQ(SavePreset(nullptr), 0);
  EXPECT_FALSE(fs::exists(work / "ZELTO.SET"));
  EXPECT_FALSE(fs::exists(deep / "ZELTO.SET"));
  EXPECT_EQ(headlessCountMessages("Preset Write Error!"), 1);   // and Save Setup says so

  fs::current_path(cwd);
}

TEST_F(PresetFile, UncreatableFileAndShortWriteAreReportedWithThePath) {
  LoadPreset();
  // The folder went away: nothing is written, and the user is told where.
  const fs::path gone = dir_ / "gone";
  UseFolder(gone);
  LoadPreset();
  fs::remove_all(gone);
  EXPECT_EQ(SavePreset(nullptr), 0);
  EXPECT_EQ(headlessCountMessages("Preset Write Error!"), 1);
  EXPECT_NE(GridText().find("-Setup not saved to " + (gone / "ZELTO.SET").string() + "-"), std::string::npos);
  headlessClearMessages();

  // A disk that takes only 100 bytes more: the preset saved before stays.
  UseFolder(dir_);
  LoadPreset();
  ASSERT_EQ(SavePreset(nullptr), 1);
  const Bytes saved = ReadFile(Preset());
  gfLocalEcho = !gfLocalEcho;
  int owner = 0;
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 100;
  auto* before = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int ok = SavePreset(&owner);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, before);

  EXPECT_EQ(ok, 0);
  ASSERT_EQ(headlessMessageCount(), 1);
  const RecordedMessage m = headlessMessage(0);
  EXPECT_EQ(m.text, "Preset Write Error!");
  EXPECT_EQ(m.caption, "(default)");
  EXPECT_EQ(m.icon, 0x30u);
  EXPECT_TRUE(m.owned);
  EXPECT_EQ(ReadFile(Preset()), saved);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2) << "ZELTO.EXE, ZELTO.SET";
}

// An installed program (in a folder named bin, which root may write) and one
// in a folder nobody may write keep their files in the user's folder; a
// preset that came with the program is read until the user saves one.
TEST_F(PresetFile, InstalledOrUnwritableProgramKeepsItsFilesInTheUsersFolder) {
  const fs::path user = dir_ / "config" / "zelto";
  setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
  LoadPreset();
  SetDistinctSettings();
  ASSERT_EQ(SavePreset(nullptr), 1);
  const Bytes shipped = ReadFile(Preset());
  const fs::path bin = dir_ / "usr" / "bin";
  UseFolder(bin);
  ResetProgramState();
  EXPECT_EQ(LoadPreset(), 0);
  EXPECT_EQ(std::string(gszPresetPathName), (user / "ZELTO.SET").string());
  EXPECT_EQ(std::string(gszRecPathName), (user / "ZELTO.REC").string());
  WriteFile(bin / "ZELTO.SET", shipped);
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 5);
  gbPort = 3;
  ASSERT_EQ(SavePreset(nullptr), 1);
  EXPECT_EQ(ReadFile(bin / "ZELTO.SET"), shipped);
  gbPort = 1;
  ASSERT_EQ(LoadPreset(), 1);
  EXPECT_EQ(gbPort, 3);

  // Not writable even by root: a folder of /proc.
  posixSetDataFolder("/proc/1");
  LoadPreset();
  EXPECT_EQ(std::string(gszPresetPathName), (user / "ZELTO.SET").string());
  EXPECT_EQ(gbPort, 3);
  posixSetDataFolder(nullptr);
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
