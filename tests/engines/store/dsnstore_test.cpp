#include "engines/store/dsnstore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/engines/store/temp_home.h"

using namespace kxstore;

namespace {

ServerDsn engineDsn(std::string name, std::string db, std::string mode = "0") {
  ServerDsn d;
  d.name = std::move(name);
  d.set("Driver", kEngineDriverName);
  d.set("Description", "");
  d.set("DBQ", std::move(db));
  d.set("OpenMode", std::move(mode));
  return d;
}

TEST(ServerDsnStore, RoundTripAndStatuses) {
  kxtest::TempHome tmp;
  ServerDsnStore store(tmp.home() + "/servers/S1");

  EXPECT_EQ(store.add(engineDsn("Sales", "SALESDB")), DsnStatus::ok);
  EXPECT_EQ(store.add(engineDsn("SALES", "OTHER")), DsnStatus::duplicate);
  EXPECT_EQ(store.add(engineDsn("a;b", "X")), DsnStatus::invalidName);
  EXPECT_EQ(store.modify(engineDsn("nothere", "X")), DsnStatus::notFound);
  EXPECT_EQ(store.remove("nothere"), DsnStatus::notFound);

  ServerDsn d;
  ASSERT_EQ(store.get("sales", d), DsnStatus::ok);
  EXPECT_EQ(d.name, "Sales");
  EXPECT_EQ(d.driver(), kEngineDriverName);
  EXPECT_EQ(d.value("DBQ"), "SALESDB");
  EXPECT_EQ(d.value("Description"), "");           // present but empty
  EXPECT_EQ(d.value("TranslationDLL"), std::nullopt);  // absent

  ServerDsn changed = engineDsn("sales", "NEWDB", "-4");
  ASSERT_EQ(store.modify(changed), DsnStatus::ok);
  ASSERT_EQ(store.get("SALES", d), DsnStatus::ok);
  EXPECT_EQ(d.name, "Sales");
  EXPECT_EQ(d.value("dbq"), "NEWDB");
  EXPECT_EQ(libraryOpenMode(*d.value("OpenMode")), 3);

  ASSERT_EQ(store.add(engineDsn("Second", "X")), DsnStatus::ok);
  std::vector<ServerDsn> all;
  ASSERT_EQ(store.list(all), DsnStatus::ok);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].name, "Second");
  EXPECT_EQ(store.remove("SALES"), DsnStatus::ok);
  EXPECT_EQ(store.get("Sales", d), DsnStatus::notFound);

  // An edit that refuses stores nothing; one that accepts keeps the keys it did not touch.
  ASSERT_EQ(store.add(engineDsn("Third", "X")), DsnStatus::ok);
  EXPECT_EQ(store.change("third", [](ServerDsn& e) {
    e.set("DBQ", "LOST");
    return DsnStatus::notFound;
  }), DsnStatus::notFound);
  EXPECT_EQ(store.change("third", [](ServerDsn& e) {
    e.set("Description", "kept keys");
    return DsnStatus::ok;
  }), DsnStatus::ok);
  ASSERT_EQ(store.get("Third", d), DsnStatus::ok);
  EXPECT_EQ(d.value("DBQ"), "X");
  EXPECT_EQ(d.value("Description"), "kept keys");
  EXPECT_EQ(store.remove("Third", [](const ServerDsn&) { return DsnStatus::notFound; }), DsnStatus::notFound);
  EXPECT_EQ(store.get("Third", d), DsnStatus::ok);

  std::ofstream(store.file(), std::ios::trunc) << "no section here\n";
  EXPECT_EQ(store.list(all), DsnStatus::damaged);
  EXPECT_EQ(store.add(engineDsn("Fourth", "X")), DsnStatus::damaged);
}

TEST(ServerDsnStore, NamesAndOpenModes) {
  struct NameCase {
    std::string name;
    bool valid;
  } names[] = {
      {"Sales", true}, {"My DSN", true}, {"", false}, {"a;b", false}, {"a[b", false},
      {"a=b", false}, {"a\\b", false}, {" lead", false}, {std::string(kMaxDsnLength, 'x'), true},
      {std::string(kMaxDsnLength + 1, 'x'), false}, {"tab\there", false},
  };
  for (const auto& c : names) EXPECT_EQ(isValidDsnName(c.name), c.valid) << c.name;

  struct ModeCase {
    std::int32_t library;
    const char* stored;
  } modes[] = {{0, "0"}, {1, "-1"}, {2, "1"}, {3, "-4"}};
  for (const auto& m : modes) {
    EXPECT_EQ(storedOpenMode(m.library), std::stoi(m.stored));
    EXPECT_EQ(libraryOpenMode(m.stored), m.library);
  }
  EXPECT_EQ(storedOpenMode(4), std::nullopt);
  EXPECT_EQ(storedOpenMode(-1), std::nullopt);
  EXPECT_EQ(libraryOpenMode("2"), std::nullopt);
  EXPECT_EQ(libraryOpenMode(""), std::nullopt);
  EXPECT_EQ(libraryOpenMode(" -1 "), 1);
}

}  // namespace
