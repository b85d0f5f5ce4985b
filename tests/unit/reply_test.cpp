// The paced upload's reply matcher and line filter, fed what real FORTH
// systems answer.
#include <gtest/gtest.h>

#include <string>

#include "transfer/reply.h"
#include "transfer/upload_lines.h"

namespace {

struct Target {
  ReplyMatcher m;
  int64_t now = 1000000;
  Target() {
    ReplyPatterns p, e;
    ParseReplyList("ok|compiled", &p);
    ParseReplyList("not found|Undefined word|?|Stack underflow|compile-only|\\x15", &e);
    ReplyReset(&m, p, e);
  }
  // Sends line, then the device answers with reply; the state right after,
  // and after 40 ms of quiet.
  std::pair<ReplyState, ReplyState> Answer(const std::string& line, const std::string& reply) {
    ReplyBegin(&m, reinterpret_cast<const uint8_t*>(line.data()), static_cast<int>(line.size()), now);
    ReplyFeed(&m, reinterpret_cast<const uint8_t*>(reply.data()), static_cast<int>(reply.size()), now);
    const ReplyState at = ReplyCheck(&m, now);
    now += 40000;
    return {at, ReplyCheck(&m, now)};
  }
};

using S = ReplyState;

TEST(Reply, EachTargetsPromptEndsTheReplyMultiLineDefinitionsIncluded) {
  Target t;
  // gforth: echo, then " ok" or " compiled" and a line end.
  EXPECT_EQ(t.Answer(": sq\r", ": sq compiled\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("  dup * ;\r", "  dup * ; ok\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("7 sq .\r", "7 sq . 49  ok\r\n").first, S::Prompt);
  // Mecrisp " ok.", FlashForth " ok<#,ram>", amforth "ok" then "> ".
  EXPECT_EQ(t.Answer("1 2 +\r", "1 2 + ok.\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("1 2 +\r", "1 2 + ok<#,ram>\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("1 2 +\r", "1 2 +\r\n ok\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("3 4 +\r", "> 3 4 +\r\n ok\r\n").first, S::Prompt);
  // A prompt with no line end after it counts once the device is quiet.
  EXPECT_EQ(t.Answer("1\r", "1 ok>"), std::make_pair(S::Waiting, S::Prompt));
  EXPECT_EQ(t.Answer("1\r", "1 ok"), std::make_pair(S::Waiting, S::Prompt));
  // A target that does not echo.
  EXPECT_EQ(t.Answer("1\r", " ok\r\n").first, S::Prompt);
  // Not a prompt: part of a word, or still waiting for more.
  EXPECT_EQ(t.Answer("1\r", "1 token\r\n"), std::make_pair(S::Waiting, S::Waiting));
  EXPECT_EQ(t.Answer("1\r", "1 book\r\n"), std::make_pair(S::Waiting, S::Waiting));
}

TEST(Reply, TheEchoOfTheLineNeverCountsOnlyTheReplyDoes) {
  Target t;
  // The line itself holds a prompt word and error texts.
  EXPECT_EQ(t.Answer(": ok .\" not found ?\" ;\r", ": ok .\" not found ?\" ; ok\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("x ?\r", "x ? 5  ok\r\n").first, S::Prompt);
  const std::string longLine = std::string(300, 'x') + " ok ? not found " + std::string(300, 'y') + "\r";
  EXPECT_EQ(t.Answer(longLine, longLine.substr(0, longLine.size() - 1)), std::make_pair(S::Waiting, S::Waiting));
  // The echo arrives in pieces.
  ReplyBegin(&t.m, reinterpret_cast<const uint8_t*>("abc ok\r"), 7, t.now);
  ReplyFeed(&t.m, reinterpret_cast<const uint8_t*>("abc o"), 5, t.now);
  EXPECT_EQ(ReplyCheck(&t.m, t.now + 50000), S::Waiting);
  ReplyFeed(&t.m, reinterpret_cast<const uint8_t*>("k"), 1, t.now);
  EXPECT_EQ(ReplyCheck(&t.m, t.now + 100000), S::Waiting);
  ReplyFeed(&t.m, reinterpret_cast<const uint8_t*>(" ok\r\n"), 5, t.now);
  EXPECT_EQ(ReplyCheck(&t.m, t.now), S::Prompt);
}

TEST(Reply, ErrorTextsStopWithTheirReplyLine) {
  Target t;
  EXPECT_EQ(t.Answer("oops\r", "oops oops not found.\r\n").first, S::Error);
  EXPECT_STREQ(t.m.errorLine, "oops not found.");
  EXPECT_EQ(t.Answer("oops\r", "oops\r\n:3: Undefined word\r\n>>>oops<<<\r\n").first, S::Error);
  EXPECT_STREQ(t.m.errorLine, ":3: Undefined word");
  EXPECT_EQ(t.Answer("drop\r", "drop Stack underflow ok\r\n").first, S::Error);
  // '?' counts only as the last word of a reply line.
  EXPECT_EQ(t.Answer("oops\r", "oops oops ?\r\n").first, S::Error);
  EXPECT_STREQ(t.m.errorLine, "oops ?");
  EXPECT_EQ(t.Answer("x\r", "x what? ok\r\n").first, S::Prompt);
  EXPECT_EQ(t.Answer("x\r", "x ?"), std::make_pair(S::Waiting, S::Error));
  // The echo of an indented line is no part of the error.
  EXPECT_EQ(t.Answer("  \toops\r", "  \toops oops not found.\r\n").first, S::Error);
  EXPECT_STREQ(t.m.errorLine, "oops not found.");
  // A NAK byte, shown as \x15.
  EXPECT_EQ(t.Answer("x\r", "x\x15\r\n").first, S::Error);
  EXPECT_STREQ(t.m.errorLine, "\\x15");
}

TEST(Reply, ListsTakeBytesAndLeaveOutEmptyEntries) {
  ReplyPatterns p;
  auto entry = [&p](int i) { return std::string(reinterpret_cast<char*>(p.bytes + p.items[i].at), p.items[i].len); };
  EXPECT_EQ(ParseReplyList("a||\\x41\\x4a|\\\\|", &p), 3);
  EXPECT_EQ(entry(1), "AJ");
  EXPECT_EQ(entry(2), "\\");
  EXPECT_TRUE(p.items[2].lastWord);
  EXPECT_FALSE(p.items[0].lastWord);
  // Any number of entries, of any length: none is left out or cut.
  std::string many;
  for (int i = 1; i <= 17; i++) many += "error" + std::to_string(i) + "|";
  const std::string longOne(300, 'x');
  EXPECT_EQ(ParseReplyList((many + longOne).c_str(), &p), 18);
  EXPECT_EQ(entry(16), "error17");
  EXPECT_EQ(entry(17), longOne);
  // A list too long for the tables is refused whole, never cut.
  EXPECT_EQ(ParseReplyList(std::string(kReplyListMax, 'a').c_str(), &p), -1);
  EXPECT_EQ(p.count, 0);
}

TEST(UploadLines, ForthCommentsStringsDirectivesAndPaths) {
  // Each line without its end; a "(" comment may go on to later lines.
  bool inParen = false;
  auto filtered = [&inParen](std::string s) {
    const int32_t n = UploadFilterLine(reinterpret_cast<uint8_t*>(s.data()), static_cast<int32_t>(s.size()), &inParen);
    return s.substr(0, static_cast<size_t>(n));
  };
  EXPECT_EQ(filtered(": sq dup * ; \\ square"), ": sq dup * ; ");
  EXPECT_EQ(filtered("\\ a whole comment line"), "");
  EXPECT_EQ(filtered("( n -- n*n ) // x"), " ");
  EXPECT_EQ(filtered("1 2 + \\"), "1 2 + ");
  EXPECT_EQ(filtered("s\\\" a\\\" ( x\" type"), "s\\\" a\\\" ( x\" type");
  // A stack comment in the middle of a line, the most common FORTH style.
  EXPECT_EQ(filtered(": square ( n -- n*n )  dup * ;"), ": square   dup * ;");
  // Only words standing alone open comments; strings keep what they hold.
  EXPECT_EQ(filtered("x(  a\\b  c//d  (x)"), "x(  a\\b  c//d  (x)");
  EXPECT_EQ(filtered(".\" ( not a comment )\" cr"), ".\" ( not a comment )\" cr");
  EXPECT_EQ(filtered("S\" http://x.org\" type \\ url"), "S\" http://x.org\" type ");
  EXPECT_EQ(filtered("abort\" \\ no\"  .( a ( b) ( c ) d"), "abort\" \\ no\"  .( a ( b)  d");
  EXPECT_EQ(filtered("c\" unended ( \\"), "c\" unended ( \\");
  // A comment over several lines.
  EXPECT_EQ(filtered("1 ( starts here"), "1 ");
  EXPECT_TRUE(inParen);
  EXPECT_EQ(filtered("  \\ still ( inside"), "");
  EXPECT_EQ(filtered("ends ) 2 ."), " 2 .");
  EXPECT_FALSE(inParen);
  char name[64];
  const std::string inc = "  #include \"lib/a b.fs\"  ";
  EXPECT_EQ(UploadDirective(reinterpret_cast<const uint8_t*>(inc.data()), static_cast<int32_t>(inc.size()), name, 64), 1);
  EXPECT_STREQ(name, "lib/a b.fs");
  const std::string req = "#require x.fs";
  EXPECT_EQ(UploadDirective(reinterpret_cast<const uint8_t*>(req.data()), static_cast<int32_t>(req.size()), name, 64), 2);
  const std::string word = "#includes x";
  EXPECT_EQ(UploadDirective(reinterpret_cast<const uint8_t*>(word.data()), static_cast<int32_t>(word.size()), name, 64), 0);
  char path[256];
  ASSERT_TRUE(UploadResolvePath("/a/b/main.fs", "../c/./d.fs", path, 256));
  EXPECT_STREQ(path, "/a/c/d.fs");
  ASSERT_TRUE(UploadResolvePath("/a/b/main.fs", "/x/y.fs", path, 256));
  EXPECT_STREQ(path, "/x/y.fs");
}

}  // namespace
