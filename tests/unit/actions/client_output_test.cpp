#include "actions/client_output.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

using Lines = std::vector<std::string>;

/// text as a client told to write Unicode writes it: UTF-16, little endian.
std::string utf16(const std::u16string& text, bool marked) {
  std::string bytes = marked ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

const std::string english =
    "Processed 328 pages for database 'VESK_ZAVO', file 'VESK_ZAVO' on file 1.\r\n"
    "BACKUP DATABASE successfully processed 330 pages in 0.052 seconds (49.503 MB/sec).\r\n";
const std::string failed =
    "Msg 3201, Level 16, State 1, Server SRV01, Line 1\r\n"
    "Cannot open backup device 'D:\\Backup\\VESK_ZAVO.bak'. Operating system error 3.\r\n"
    "Msg 3013, Level 16, State 1, Server SRV01, Line 1\r\n"
    "BACKUP DATABASE is terminating abnormally.\r\n";

TEST(ReadClientOutput, ErrorsAndTheBackupMessageInEveryLanguage) {
  const struct {
    const char* name;
    std::string output;
    bool error;
    bool backup;
    Lines messages = {};
  } cases[] = {
      {"English", english, false, true},
      {"German", "BACKUP DATABASE hat erfolgreich 1 Seiten in 0.1 Sekunden verarbeitet.\r\n", false,
       true},
      {"French", "BACKUP DATABASE a traité avec succès 330 pages en 0.052 secondes.\r\n", false,
       true},
      {"Spanish",
       "BACKUP DATABASE procesó correctamente 562 páginas en 0.286 segundos (15.338 MB/s).", false,
       true},
      {"Japanese", "BACKUP DATABASE により 330 ページが 0.052 秒間で正常に処理されました。\r\n",
       false, true},
      {"Chinese, differential",
       "BACKUP DATABASE WITH DIFFERENTIAL 成功处理了 41 页，花费 0.016 秒(20.019 MB/秒)。", false,
       true},
      {"differential",
       "BACKUP DATABASE WITH DIFFERENTIAL successfully processed 298 pages in 0.049 seconds.",
       false, true},
      {"English error",
       failed,
       true,
       false,
       {"Msg 3201, Level 16, State 1, Server SRV01, Line 1",
        "Cannot open backup device 'D:\\Backup\\VESK_ZAVO.bak'. Operating system error 3.",
        "Msg 3013, Level 16, State 1, Server SRV01, Line 1",
        "BACKUP DATABASE is terminating abnormally."}},
      {"German error",
       "Meldung 3201, Ebene 16, Status 1, Server SRV01, Zeile 1\r\nx\r\n",
       true,
       false,
       {"Meldung 3201, Ebene 16, Status 1, Server SRV01, Zeile 1", "x"}},
      {"French error",
       "Msg 3201, Niveau 16, État 1, Serveur SRV01, Ligne 1\r\n",
       true,
       false,
       {"Msg 3201, Niveau 16, État 1, Serveur SRV01, Ligne 1"}},
      {"Spanish error",
       "Mens. 3201, Nivel 16, Estado 1, Línea 7\r\n",
       true,
       false,
       {"Mens. 3201, Nivel 16, Estado 1, Línea 7"}},
      {"Japanese error",
       "メッセージ 3201、レベル 16、状態 1、サーバー SRV01、行 1\r\n",
       true,
       false,
       {"メッセージ 3201、レベル 16、状態 1、サーバー SRV01、行 1"}},
      {"Japanese error, code page 932",
       "\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57 3201\x81\x41"
       "\x83\x8C\x83\x78\x83\x8B 16\x81\x41\x8F\xF3\x91\xD4 1\r\n",
       true,
       false,
       {"\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57 3201\x81\x41\x83\x8C\x83\x78\x83\x8B 16\x81\x41"
        "\x8F\xF3\x91\xD4 1"}},
      {"Chinese error",
       "消息 547，级别 16，状态 1，服务器 SRV01，第 1 行\r\n",
       true,
       false,
       {"消息 547，级别 16，状态 1，服务器 SRV01，第 1 行"}},
      {"client's own error",
       "HResult 0x2, Level 16, State 1\r\nNamed Pipes Provider\r\n",
       true,
       false,
       {"HResult 0x2, Level 16, State 1", "Named Pipes Provider"}},
      {"severity 10 in German",
       "Meldung 3211, Ebene 10, Status 1\r\n10 Prozent verarbeitet.\r\n" + english, false, true},
      {"success then an error",
       english + "Msg 50000, Level 11, State 1\r\n",
       true,
       true,
       {"Msg 50000, Level 11, State 1"}},
      {"nothing backed up", "\r\n(0 rows affected)\r\n", false, false},
      {"blank", "\r\n", false, false},
      {"empty", "", false, false},
      {"the failure's own text alone", "BACKUP DATABASE is terminating abnormally.\r\n", false,
       false},
      {"not at a line start", "  BACKUP DATABASE successfully processed 1 pages in 0.1 s\r\n",
       false, false},
      {"another statement", "BACKUP LOG successfully processed 3 pages in 0.1 seconds\r\n", false,
       false},
      {"UTF-8 mark", "\xEF\xBB\xBF" + english, false, true},
      {"Unicode without mark",
       utf16(u"Msg 1, Level 16, State 1\r\n", false),
       true,
       false,
       {"Msg 1, Level 16, State 1"}},
      {"Unicode Japanese",
       utf16(u"メッセージ 3201、レベル 16、状態 1、行 1\r\n", true),
       true,
       false,
       {"メッセージ 3201、レベル 16、状態 1、行 1"}},
      {"Unicode success", utf16(u"BACKUP DATABASE successfully processed 1 pages in 0.1 s", false),
       false, true},
  };
  for (const auto& c : cases) {
    const ClientOutputReading reading = readClientOutput(c.output);
    EXPECT_EQ(c.error, reading.reportsError) << c.name;
    EXPECT_EQ(c.backup, reading.showsBackup) << c.name;
    EXPECT_EQ(c.messages, reading.errorLines) << c.name;
  }
  // At most ten lines, each cut.
  std::string many;
  for (int i = 0; i < 20; ++i)
    many += "Msg 3201, Level 16, State 1 " + std::string(400, 'x') + "\n";
  const ClientOutputReading reading = readClientOutput(many);
  EXPECT_EQ(maxMessageLines, reading.errorLines.size());
  EXPECT_EQ(maxMessageLineLength + 3, reading.errorLines[0].size());
}

TEST(JudgeClient, OneRuleForTheRunAndTheRunAfter) {
  const std::string see = ", see P";
  const struct {
    const char* name;
    ClientEvidence evidence;
    std::string reason;  // empty: confirmed
  } cases[] = {
      {"clean", {0, english}, ""},
      {"the run after: no exit code seen", {std::nullopt, english}, ""},
      {"exit code 1", {1, english}, "client exit code 1"},
      {"exit code and error", {1, failed}, "client reported an error" + see},
      {"error with 0", {0, failed}, "client reported an error" + see},
      {"no output", {0, std::nullopt}, "client output missing" + see},
      {"empty output", {0, ""}, "client output missing" + see},
      {"no backup", {0, "\r\n(0 rows affected)\r\n"}, "client output shows no backup" + see},
      {"unreadable", {0, std::nullopt, false}, "client output not readable" + see},
      {"unreadable, exit code", {2, std::nullopt, false}, "client exit code 2"},
      {"too large to read",
       {0, std::nullopt, true, true},
       "client output larger than 4 MiB, not read" + see},
  };
  for (const auto& c : cases) {
    const ClientVerdict verdict = judgeClient(c.evidence, "P");
    EXPECT_EQ(c.reason.empty(), verdict.confirmed) << c.name;
    EXPECT_EQ(c.reason, verdict.reason) << c.name;
    EXPECT_EQ(c.reason.find("error") != std::string::npos, !verdict.messages.empty()) << c.name;
  }
}

}  // namespace
}  // namespace vesk
