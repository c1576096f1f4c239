#include "config/db_properties.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/failure.h"

namespace vesk {
namespace {

DbSettings readAll(const std::string& content) { return readDbSettings(content); }

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

TEST(ReadDbSettings, MalformedRecordNamesItsPart) {
  using Part = DbRecordPart;
  const struct {
    const char* content;
    Part part;
    Fault fault;
  } cases[] = {
      {"DB_PROVIDER", Part::providerValue, Fault::subscriptOutOfRange},
      {"dbconn.appl.url", Part::urlValue, Fault::subscriptOutOfRange},
      {"dbconn.appl.url=dbhost:1433;", Part::urlScheme, Fault::invalidArgument},
      {"dbconn.appl.url=p://dbhost:1433", Part::urlHostLength, Fault::invalidArgument},
      {"dbconn.appl.url=a;p://dbhost:1433", Part::urlHostLength, Fault::invalidArgument},
      {"dbconn.appl.url=p://;x", Part::urlHost, Fault::subscriptOutOfRange},
      {"dbconn.appl.url=p://dbhost;x", Part::urlPort, Fault::subscriptOutOfRange},
      {"dbconn.appl.user", Part::userValue, Fault::subscriptOutOfRange},
      {"dbconn.appl.pwd", Part::passwordValue, Fault::subscriptOutOfRange},
  };
  for (const auto& c : cases) {
    try {
      readDbSettings(std::string("DB_PROVIDER=SQLOLEDB\r\n") + c.content + "\r\nx=1");
      ADD_FAILURE() << "no failure: " << c.content;
    } catch (const MalformedRecord& f) {
      EXPECT_EQ(c.fault, f.fault) << c.content;
      EXPECT_EQ(c.part, f.where) << c.content;
    }
  }
}

TEST(ReadDbSettings, WantedKeyWithoutEqualsIgnoredWhenNotWanted) {
  EXPECT_EQ("u", readAll("finalPath\r\ndbconn.appl.userx\r\ndbconn.appl.user=u").dbUser);
}

}  // namespace
}  // namespace vesk
