#include <gtest/gtest.h>

#include <cstdarg>
#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"
#include "support/LogFile.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"

namespace {

// The lines of `text`, split at the platform's line end, which must end it.
std::vector<std::string> SplitLines(const std::string& text) {
  const std::string end = LogLineEnd();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at = text.find(end); at != std::string::npos; at = text.find(end, start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + end.size();
  }
  EXPECT_EQ(start, text.size()) << "text does not end with a whole line";
  return lines;
}

const std::regex kLinePrefix(
    R"(^\[Vantrix\]\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}    ([A-Za-z:]+):(\d+) )");

// The message of a log line, after checking its prefix.
std::string MessageOf(const std::string& line, std::smatch* match) {
  EXPECT_TRUE(std::regex_search(line, *match, kLinePrefix)) << line.substr(0, 80);
  return match->suffix().str();
}

void WriteTo(CLogFile* log, const char* function, unsigned line, const char* format, ...)
    __attribute__((format(gnu_printf, 4, 5)));
void WriteTo(CLogFile* log, const char* function, unsigned line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  log->WriteLine(function, line, format, args);
  va_end(args);
}

std::string LocalStamp() {
  const std::time_t now = std::time(nullptr);
  return CLogFile::FormatTimeStamp(*std::localtime(&now));
}

TEST(Log, LinesCarryTagLocalTimeFunctionLineAndTheWholeMessageToTheFileOpenedFirst) {
  LogProbe probe;
  const std::string before = LocalStamp();
  WriteLog("CVolFreeSpaceWiper::WriteData", 188, "write ret: %d", 131072);
  const std::string after = LocalStamp();
  WriteLog("VantrixFile::closeFile", 7, "%s", "");
  WriteLog("Log::Test", 1, "%ls|%lld|%llu|%llx|%c|%x", L"wide", -9000000000LL,
           18446744073709551615ULL, 0xABCDEFULL, 'q', 255u);
  std::vector<std::string> expected = {"write ret: 131072", "",
                                       "wide|-9000000000|18446744073709551615|abcdef|q|ff"};
  for (std::size_t length : {1022u, 1023u, 1024u, 5000u}) {  // around the formatting buffer
    expected.emplace_back(length, static_cast<char>('a' + length % 26));
    WriteLog("Log::Test", 2, "%s", expected.back().c_str());
  }
  const char* noFormat = nullptr;
  WriteLog("Log::Test", 3, noFormat);  // writes nothing
  WriteLog("CFileWiper::init", 42, "open %s file failure\n", "C:\\x.txt");
  expected.push_back("open C:\\x.txt file failure");

  const std::vector<std::string> lines = SplitLines(probe.Appended());
  ASSERT_EQ(lines.size(), expected.size() + 1);
  EXPECT_EQ(lines.back(), "") << "the message's own line feed leaves an empty line";
  std::smatch match;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(MessageOf(lines[i], &match), expected[i]) << "line " << i;
  }
  MessageOf(lines[0], &match);
  EXPECT_EQ(match[1].str() + ":" + match[2].str(), "CVolFreeSpaceWiper::WriteData:188");
  const std::string stamp = lines[0].substr(9, 19);
  EXPECT_TRUE(before <= stamp && stamp <= after) << before << " " << stamp << " " << after;
  std::tm time = {};
  time.tm_year = 127, time.tm_mon = 0, time.tm_mday = 3, time.tm_hour = 4, time.tm_min = 5;
  time.tm_sec = 6;
  EXPECT_EQ(CLogFile::FormatTimeStamp(time), "2027-01-03 04:05:06");

  TempDir elsewhere;  // the file opened first stays the log
  {
    InFolder in(elsewhere.path());
    WriteLog("Log::Test", 5, "after chdir");
  }
  EXPECT_TRUE(probe.Contains("after chdir"));
  EXPECT_FALSE(fs::exists(elsewhere / "vantrix.log"));
}

TEST(Log, ConcurrentCallersNeverInterleaveLines) {
  LogProbe probe;
  constexpr int kThreads = 8;
  constexpr int kLines = 1000;
  // Thread 0 writes long lines through the heap path meanwhile.
  const auto padding = [](int t) { return std::string(t == 0 ? 1500 : 40, 'A' + t); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &padding] {
      for (int i = 0; i < kLines; ++i)
        WriteLog("Log::Thread", 4, "t%d n%d %s", t, i, padding(t).c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  const std::vector<std::string> lines = SplitLines(probe.Appended());
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::set<std::pair<int, int>> seen;
  const std::regex body(R"(t(\d) n(\d+) (.*))");
  for (const std::string& line : lines) {
    std::smatch prefix, parts;
    const std::string message = MessageOf(line, &prefix);
    ASSERT_TRUE(std::regex_match(message, parts, body)) << message.substr(0, 80);
    const int t = std::stoi(parts[1].str());
    EXPECT_EQ(parts[3].str(), padding(t));
    seen.insert({t, std::stoi(parts[2].str())});
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

// Two objects on one existing file append to it in turn. Later, at the limit,
// the file moves to "<name>.1" before the line that would pass it, and the
// two generations end with the newest lines, none lost.
TEST(LogFile, AppendsToASharedFileAndRotatesBeforeALineWouldPassTheLimit) {
  TempDir dir;
  const fs::path path = dir / "shared.log", older = dir / "shared.log.1";
  WriteBytes(path, std::string("earlier") + LogLineEnd());
  {
    CLogFile first(path.string().c_str()), second(path.string().c_str());
    WriteTo(&first, "A::a", 1, "one");
    WriteTo(&second, "B::b", 2, "two");
    WriteTo(&first, "A::a", 3, "three");
  }
  std::vector<std::string> lines = SplitLines(ReadBytes(path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "earlier");
  const char* const written[] = {"A::a:1 one", "B::b:2 two", "A::a:3 three"};
  for (int i = 0; i < 3; ++i) EXPECT_NE(lines[i + 1].find(written[i]), std::string::npos);

  constexpr std::uint64_t kLimit = 1000;
  {
    CLogFile log(path.string().c_str(), kLimit);
    for (int i = 0; i < 60; ++i) {
      WriteTo(&log, "A::a", 1, "line %03d", i);
      ASSERT_LE(fs::file_size(path), kLimit) << "after line " << i;
    }
  }
  ASSERT_LE(fs::file_size(older), kLimit);
  lines = SplitLines(ReadBytes(older) + ReadBytes(path));
  ASSERT_GT(lines.size(), 10u);
  ASSERT_LT(lines.size(), 60u);  // older generations were replaced
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string expected = "line " + std::to_string(1000 + 60 - lines.size() + i).substr(1);
    EXPECT_EQ(lines[i].substr(lines[i].size() - expected.size()), expected);
  }
}

// What stands under the log's name decides whether it is written at all:
// only a regular file is, and a link is never followed, dangling or not.
// Whatever a logged value holds, each call is one line.
TEST(LogFile, WritesOnlyARegularFileNeverThroughALinkAndEachCallAsOneLine) {
  TempDir dir;
  const fs::path target = dir / "target", name = dir / "named.log";
  struct Row {
    const char* what;
    bool link;         // a link at the name, to `target`
    bool targetThere;  // ... which exists (else the link dangles)
    bool folder;       // a folder at the name
    bool written;
  };
  const Row rows[] = {{"missing file", false, false, false, true},
                      {"link to a file", true, true, false, false},
                      {"dangling link", true, false, false, false},
                      {"folder", false, false, true, false}};
  for (const Row& row : rows) {
    fs::remove_all(name), fs::remove_all(target);
    if (row.targetThere) WriteBytes(target, "kept");
    std::string why;
    if (row.link && !MakeFileLink(name, target, &why)) {
      std::printf("%s: skipped, %s\n", row.what, why.c_str());
      continue;
    }
    if (row.folder) fs::create_directory(name);
    {
      CLogFile log(name.string().c_str());
      WriteTo(&log, "A::a", 1, "open %s file failure\n", "x\n* * * * * planted\rback\t");
      WriteTo(&log, "A::a", 2, "letter %c:", '\0');
    }
    EXPECT_EQ(ReadBytes(target), row.targetThere ? "kept" : "") << row.what;
    EXPECT_EQ(fs::exists(target), row.targetThere) << row.what;
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(name)), row.written) << row.what;
    if (!row.written) continue;
    const std::vector<std::string> lines = SplitLines(ReadBytes(name));
    ASSERT_EQ(lines.size(), 3u) << row.what;
    std::smatch match;
    EXPECT_EQ(MessageOf(lines[0], &match),
              "open x\\x0A* * * * * planted\\x0Dback\\x09 file failure");
    EXPECT_EQ(lines[1], "") << "the format's own line feed stays";
    EXPECT_EQ(MessageOf(lines[2], &match), "letter \\x00:");
  }
}

}  // namespace
