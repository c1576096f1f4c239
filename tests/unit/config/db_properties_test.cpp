#include "config/db_properties.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/failure.h"

namespace vesk {
namespace {

DbSettings readAll(const std::string& content) {
  SettingsFile file(content);
  DbSettings settings;
  readDbSettings(file, settings);
  EXPECT_TRUE(file.atEnd());
  return settings;
}

TEST(ReadDbSettings, ServerVersionFromTheProvider) {
  const struct {
    const char* content;
    const char* expected;
  } cases[] = {
      {"DB_PROVIDER=SQLOLEDB", "MSDE"},
      {"DB_PROVIDER=SQLOLEDB.1", "MSDE"},
      {"DB_PROVIDER=SQLNCLI.1", "2005"},
      {"DB_PROVIDER=SQLNCLI", ""},
      {"DB_PROVIDER=SQLNCLI10", ""},
      {"DB_PROVIDER=sqloledb", ""},
      {"DB_PROVIDER=SQLNCLIx1", ""},
      {"DB_PROVIDER=SQLNCLI.1 SQLOLEDB", "MSDE"},
      {"DB_PROVIDER=", ""},
      {"DB_PROVIDER = SQLOLEDB", ""},
      {"db_provider=SQLOLEDB", ""},
      {"DB_PROVIDER=SQLOLEDB\r\nDB_PROVIDER=SQLNCLI.1", "2005"},
      {"DB_PROVIDER=SQLNCLI.1\r\nDB_PROVIDER=SQLNCLI10", "2005"},
      {"DB_PROVIDER=x=SQLOLEDB", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::string(c.expected), serverVersionName(readAll(c.content).serverVersion))
        << c.content;
}

TEST(ReadDbSettings, HostAndPortFromUrl) {
  const struct {
    const char* content;
    const char* host;
    const char* port;
  } cases[] = {
      {"dbconn.appl.url=proto://dbhost:1433;opt=1", "dbhost", "1433"},
      {"dbconn.appl.url=jdbc:sqlserver://db.example:1433;databaseName=VESK_ZAVO", "db.example",
       "1433"},
      {"dbconn.appl.url=p://h:1:2;", "h", "1"},
      {"dbconn.appl.url=p://dbhost:1433/main;", "dbhost", "1433/main"},
      {"dbconn.appl.url=p://:;", "", ""},
      {"dbconn.appl.url=a;p://h:1;", "h", "1"},
      {"dbconn.appl.url=p://a:1;\r\ndbconn.appl.url=p://b:2;", "b", "2"},
  };
  for (const auto& c : cases) {
    DbSettings settings = readAll(c.content);
    EXPECT_EQ(c.host, settings.dbHost) << c.content;
    EXPECT_EQ(c.port, settings.dbPort) << c.content;
  }
}

TEST(ReadDbSettings, WholeFile) {
  DbSettings settings = readAll(
      "# database\r\n"
      "DB_PROVIDER=SQLNCLI.1\r\n"
      "\r\n"
      "  dbconn.appl.url=jdbc:sqlserver://srv:1433;databaseName=VESK_ZAVO\r\n"
      "dbconn.appl.user= sa\r\n"
      "dbconn.appl.user=backup\r\n"
      "dbconn.appl.pwd=se=cret\r\n"
      "other.key=1");
  EXPECT_EQ(std::string("2005"), serverVersionName(settings.serverVersion));
  EXPECT_EQ("srv", settings.dbHost);
  EXPECT_EQ("1433", settings.dbPort);
  EXPECT_EQ("backup", settings.dbUser);
  EXPECT_EQ("se", settings.dbPassword);

  EXPECT_EQ(" sa", readAll("dbconn.appl.user= sa").dbUser);
  EXPECT_EQ(" pw", readAll("dbconn.appl.pwd= pw").dbPassword);
  EXPECT_EQ("", readAll("dbconn.appl.pwd=").dbPassword);
}

TEST(ReadDbSettings, NoKnownKeysLeavesEverythingEmpty) {
  DbSettings settings = readAll("a=1\r\nDBCONN.APPL.USER=x\r\ndbconn.appl.user\t=x\r\n,,\r\n");
  EXPECT_EQ(std::string(""), serverVersionName(settings.serverVersion));
  EXPECT_EQ("", settings.dbHost);
  EXPECT_EQ("", settings.dbPort);
  EXPECT_EQ("", settings.dbUser);
  EXPECT_EQ("", settings.dbPassword);
  readAll("");
}

TEST(ReadDbSettings, MalformedRecordFailsAtItsStep) {
  const struct {
    const char* content;
    uint32_t step;
    int32_t number;
  } cases[] = {
      {"DB_PROVIDER", 89, failure::subscriptOutOfRange},
      {"dbconn.appl.url", 99, failure::subscriptOutOfRange},
      {"dbconn.appl.url=dbhost:1433;", 100, failure::invalidArgument},
      {"dbconn.appl.url=p://dbhost:1433", 102, failure::invalidArgument},
      {"dbconn.appl.url=a;p://dbhost:1433", 102, failure::invalidArgument},
      {"dbconn.appl.url=p://;x", 104, failure::subscriptOutOfRange},
      {"dbconn.appl.url=p://dbhost;x", 105, failure::subscriptOutOfRange},
      {"dbconn.appl.user", 107, failure::subscriptOutOfRange},
      {"dbconn.appl.pwd", 109, failure::subscriptOutOfRange},
  };
  for (const auto& c : cases) {
    SettingsFile file(std::string("DB_PROVIDER=SQLOLEDB\r\n") + c.content + "\r\nx=1");
    DbSettings settings;
    try {
      readDbSettings(file, settings);
      ADD_FAILURE() << "no failure: " << c.content;
    } catch (const Failure& f) {
      EXPECT_EQ(c.number, f.number) << c.content;
      EXPECT_EQ(static_cast<int32_t>(c.step), f.step) << c.content;
    }
    EXPECT_EQ(std::string("MSDE"), serverVersionName(settings.serverVersion))
        << "records before it were applied";
    EXPECT_FALSE(file.atEnd()) << "the read stops at the bad record: " << c.content;
  }
}

TEST(ReadDbSettings, WantedKeyWithoutEqualsIgnoredWhenNotWanted) {
  EXPECT_EQ("u", readAll("finalPath\r\ndbconn.appl.userx\r\ndbconn.appl.user=u").dbUser);
}

}  // namespace
}  // namespace vesk
