#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "platform/rtl/application.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/os.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDateTime = "2024/03/05 14:07:09";
const std::vector<std::string> kHeader = {"<xml version=\"1.0\" standalone=\"yes\">", "<audit prod=\"VOSK\">",
                                          std::string("<start>") + kDateTime + "</start>"};
const std::vector<std::string> kFooter = {std::string("<end>") + kDateTime + "</end>", "</audit>", "</xml>"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Each test writes its log into a fresh folder, with a fixed date text and a counter that
// moves only when the test says so (1000 ticks per second).
class AuditLog : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kx-trace-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    SetAuditLogDirectory(folder);
    detail::SetTraceDateTimeText([] { return std::string(kDateTime); });
    host::SetPerformanceCounterOverride(1000, [this] { return ticks; });
    savedDecimal = host::FormatSettings().DecimalSeparator;
    host::FormatSettings().DecimalSeparator = '.';
  }

  void TearDown() override {
    AllOff();
    host::FormatSettings().DecimalSeparator = savedDecimal;
    host::ResetPerformanceCounter();
    detail::SetTraceDateTimeText(nullptr);
    SetAuditLogDirectory({});
    fs::remove_all(folder);
  }

  static void AllOff() {
    for (auto setter : {SetDiagnoseBlobs, SetDiagnoseLocate, SetDiagnoseGetRecord, SetDiagnoseNavigate,
                        SetDiagnoseEdit, SetDiagnoseDataEvent, SetDiagnoseRefresh, SetDiagnoseClose,
                        SetDiagnoseOpen, SetDiagnose1590_Open, SetDiagnoseTiming}) {
      setter(false);
    }
  }

  std::vector<std::string> Lines() const {
    std::ifstream in(folder / "KxAudit.xml");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path folder;
  std::int64_t ticks = 0;
  char savedDecimal = '.';
};

TEST_F(AuditLog, StaysOpenUntilTheLastSwitchIsOffAndWritesTheHeaderOnce) {
  EXPECT_FALSE(IsAuditLogOpen());
  SetDiagnoseOpen(true);
  SetDiagnoseOpen(true);
  SetDiagnoseClose(true);
  EXPECT_TRUE(diagnoseOpen && diagnoseClose);
  EXPECT_EQ(GetAuditLogFileName(), folder / "KxAudit.xml");
  trace(diagOpenLine("open", "TKxDataSet.InternalOpen"));
  trace(kDiagClose);

  SetDiagnoseOpen(false);
  EXPECT_TRUE(IsAuditLogOpen()) << "another switch is still on";
  trace(diagOpenLine("close", "TKxDataSet.CloseCursor"));
  trace(kDiagClose);
  SetDiagnoseClose(false);
  EXPECT_FALSE(IsAuditLogOpen());

  EXPECT_EQ(Lines(), Join({kHeader,
                           {"<diag type=\"open\" meth=\"TKxDataSet.InternalOpen\">", "</diag>",
                            "<diag type=\"close\" meth=\"TKxDataSet.CloseCursor\">", "</diag>"},
                           kFooter}));

  // The next switch turned on starts a new log.
  SetDiagnoseEdit(true);
  Mark("again");
  SetDiagnoseEdit(false);
  EXPECT_EQ(Lines(), Join({kHeader, {"<mark>", "again", "</mark>"}, kFooter}));
}

TEST_F(AuditLog, ElementShapesAsWritten) {
  SetDiagnoseBlobs(true);
  TKxDiagScope scope(diagnoseBlobs, "blob", "TKxRcxBlobStream.Read");
  trace(dumpOpenLine(1));
  trace(stateLine("FCached", true));
  trace(stateLine("(FMode = bmRead)", false));
  trace(stateValLine("result", "grOK"));
  trace(datumLine("FBlobSize", std::int64_t{1024}));
  trace(datumLine("currentRecord", "-1"));
  trace(kDumpClose);
  trace(pathOpenLine(true));
  trace(kPathClose);
  trace("<diag type=\"locate\" meth=\"x\">", "Customer=7");
  trace("note", std::string("detail"));
  Mark("checkpoint A");

  const std::vector<std::string> expected = {
      "<diag type=\"blob\" meth=\"TKxRcxBlobStream.Read\">",
      "<dump count=\"1\">",
      "<state name=\"FCached\">true</state>",
      "<state name=\"(FMode = bmRead)\">false</state>",
      "<state name=\"result\" val=\"grOK\" />",
      "<datum name=\"FBlobSize\">1024</datum>",
      "<datum name=\"currentRecord\">-1</datum>",
      "</dump>",
      "<path refreshing=\"true\">",
      "</path>",
      "<diag type=\"locate\" meth=\"x\"> [Customer=7]",
      "note [detail]",
      "<mark>",
      "checkpoint A",
      "</mark>",
  };
  EXPECT_EQ(Lines(), Join({kHeader, expected}));
}

TEST_F(AuditLog, NumberedLinesCountFromOnePerLog) {
  SetDiagnoseNavigate(true);
  EXPECT_EQ(getCountTrace(), 0);
  trace("<diag type=\"navigate\" meth=\"TKxDataSet.First\">", true);
  trace(stateLine("FLastRecord", false));
  trace(kDiagClose, true);
  EXPECT_EQ(getCountTrace(), 2);
  EXPECT_EQ(Lines(), Join({kHeader,
                           {"<diag type=\"navigate\" meth=\"TKxDataSet.First\">"
                            "<!-- - - - - - - - - - - - - - - - - - - - -  1 -->",
                            "<state name=\"FLastRecord\">false</state>",
                            "</diag><!-- - - - - - - - - - - - - - - - - - - - -  2 -->"}}));

  SetDiagnoseNavigate(false);
  SetDiagnoseNavigate(true);
  trace("x", true);
  EXPECT_EQ(getCountTrace(), 1);
  EXPECT_EQ(Lines().back(), "x<!-- - - - - - - - - - - - - - - - - - - - -  1 -->");
}

TEST_F(AuditLog, WritingWithoutAnOpenLogRaisesAnIOError) {
  EXPECT_THROW(trace("<mark>"), host::EInOutError);
  EXPECT_THROW(Mark("x"), host::EInOutError);
  EXPECT_THROW(trace("a", "b"), host::EInOutError);

  // A scope's closing line never raises, even after the log went away.
  SetDiagnoseRefresh(true);
  {
    TKxDiagScope scope(diagnoseRefresh, "refresh", "TKxTable.Resync");
    SetDiagnoseRefresh(false);
  }
  EXPECT_EQ(Lines(), Join({kHeader, {"<diag type=\"refresh\" meth=\"TKxTable.Resync\">"}, kFooter}));
}

TEST_F(AuditLog, SwitchStaysOffWhenTheLogCannotBeCreated) {
  SetAuditLogDirectory(folder / "missing" / "deeper");
  EXPECT_THROW(SetDiagnoseOpen(true), host::EInOutError);
  EXPECT_FALSE(diagnoseOpen);
  EXPECT_FALSE(IsAuditLogOpen());
}

TEST_F(AuditLog, ScopeClosesItsElementOnEveryWayOut) {
  SetDiagnoseEdit(true);
  try {
    TKxDiagScope scope(diagnoseEdit, "edit", "TKxRcxDataSet.KxInternalEdit");
    throw std::runtime_error("record locked");
  } catch (const std::runtime_error&) {
  }
  {
    TKxDiagScope off(diagnoseLocate, "locate", "TKxDataSet.Locate");
    EXPECT_FALSE(off.Active());
  }
  EXPECT_EQ(Lines(), Join({kHeader, {"<diag type=\"edit\" meth=\"TKxRcxDataSet.KxInternalEdit\">", "</diag>"}}));
}

TEST_F(AuditLog, TimingElementsGiveEachCallsDuration) {
  SetDiagnoseOpen(true);
  SetDiagnoseTiming(true);
  ticks = 0;
  trace(diagOpenLine("open", "TKxDataSet.InternalOpen"));
  ticks = 100;
  trace(diagOpenLine("1590_open", "TKxDataSet.CheckHandle"));
  ticks = 350;
  trace(kDiagClose);
  ticks = 400;
  trace(diagOpenLine("1590_open", "TKxDataSet.InitBufferPointers"));
  trace(stateLine("FCached", false));  // not a diag line: no level
  trace("<diag type=\"idle\">*** </diag>");  // complete element: no level
  ticks = 1400;
  trace(kDiagClose, true);
  ticks = 2500;
  trace(kDiagClose);
  ticks = 2600;
  trace(kDiagClose);  // no element is open

  EXPECT_EQ(Lines(), Join({kHeader,
                           {"<diag type=\"open\" meth=\"TKxDataSet.InternalOpen\">",
                            "<diag type=\"1590_open\" meth=\"TKxDataSet.CheckHandle\">",
                            "<timing secs=\"0.250\"/></diag>",
                            "<diag type=\"1590_open\" meth=\"TKxDataSet.InitBufferPointers\">",
                            "<state name=\"FCached\">false</state>",
                            "<diag type=\"idle\">*** </diag>",
                            "<timing secs=\"1.000\"/></diag><!-- - - - - - - - - - - - - - - - - - - - -  1 -->",
                            "<timing secs=\"2.500\"/></diag>",
                            "</diag>"}}));
}

TEST_F(AuditLog, TimingDeeplyNestedAndAfterTimingIsTurnedOff) {
  SetDiagnoseTiming(true);
  for (int depth = 0; depth < 4; ++depth) {
    ticks = depth * 10;
    trace(diagOpenLine("open", "L" + std::to_string(depth)));
  }
  for (int depth = 3; depth >= 0; --depth) {
    ticks = 100 - depth * 10;
    trace(kDiagClose);
  }
  SetDiagnoseOpen(true);
  SetDiagnoseTiming(false);
  trace(diagOpenLine("open", "untimed"));
  trace(kDiagClose);

  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), kHeader.size() + 10);
  const std::vector<std::string> closes(lines.begin() + 7, lines.begin() + 11);
  EXPECT_EQ(closes, (std::vector<std::string>{"<timing secs=\"0.040\"/></diag>", "<timing secs=\"0.060\"/></diag>",
                                              "<timing secs=\"0.080\"/></diag>", "<timing secs=\"0.100\"/></diag>"}));
  EXPECT_EQ(lines.back(), "</diag>");
}

TEST_F(AuditLog, TimingWithoutAHighResolutionCounter) {
  host::SetPerformanceCounterOverride(0, [] { return std::int64_t{0}; });
  SetDiagnoseTiming(true);
  trace(diagOpenLine("getRecord", "TKxDataSet.KxGetRecord"));
  trace(kDiagClose);
  EXPECT_EQ(Lines().back(), "<timing supported=\"false\"/></diag>");
}

TEST_F(AuditLog, IdleSeparatorAfterTracedWorkAndHandlerChained) {
  host::TApplication* app = host::Application();
  int previousCalls = 0;
  app->SetOnIdle([&previousCalls](host::TObject*, bool& done) {
    ++previousCalls;
    done = false;
  });

  SetDiagnoseGetRecord(true);
  EXPECT_FALSE(app->DoIdle()) << "the previous handler still decides";
  EXPECT_EQ(previousCalls, 1);
  trace("<mark>");
  app->DoIdle();
  app->DoIdle();  // nothing new since the separator
  trace("</mark>");
  app->DoIdle();
  SetDiagnoseGetRecord(false);
  EXPECT_EQ(previousCalls, 4);

  const std::string separator =
      std::string("<diag type=\"idle\">********************* idle ************* ") + kDateTime + "</diag>";
  EXPECT_EQ(Lines(), Join({kHeader, {"<mark>", separator, "</mark>", separator}, kFooter}));

  // Closing gave the application its handler back.
  app->DoIdle();
  EXPECT_EQ(previousCalls, 5);
  app->SetOnIdle(nullptr);
}

}  // namespace
}  // namespace kx
