#include "common/kxtables/trace.h"

#include <array>
#include <utility>

#include "platform/rtl/application.h"
#include "platform/rtl/classesconsts.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/os.h"
#include "platform/rtl/strings.h"

namespace kx {

bool diagnoseBlobs = false;
bool diagnoseLocate = false;
bool diagnoseGetRecord = false;
bool diagnoseNavigate = false;
bool diagnoseEdit = false;
bool diagnoseDataEvent = false;
bool diagnoseRefresh = false;
bool diagnoseClose = false;
bool diagnoseOpen = false;
bool diagnose1590_Open = false;
bool diagnoseTiming = false;

namespace {

constexpr std::string_view kLogFileName = "KxAudit.xml";
constexpr std::string_view kNumberPrefix = "<!-- - - - - - - - - - - - - - - - - - - - -  ";

const std::array<bool*, 11> kSwitches = {
    &diagnoseBlobs,  &diagnoseLocate,  &diagnoseGetRecord, &diagnoseNavigate,
    &diagnoseEdit,   &diagnoseDataEvent, &diagnoseRefresh,  &diagnoseClose,
    &diagnoseOpen,   &diagnose1590_Open, &diagnoseTiming,
};

bool AnySwitchOn() {
  for (bool* s : kSwitches) {
    if (*s) return true;
  }
  return false;
}

std::string DefaultDateTimeText() { return host::DateTimeToStr(host::Now()); }

struct TraceState {
  host::TTextFileWriter file;
  bool open = false;
  bool writtenSinceIdle = false;
  int countTrace = 0;
  std::filesystem::path directory;

  std::unique_ptr<TIdleObject> idleObject;
  host::TApplication::TIdleEvent previousIdle;

  bool timingStarted = false;  // the timing list exists
  std::vector<std::unique_ptr<TTimingObject>> timingList;
  std::int64_t frequency = 0;

  std::function<std::string()> dateTimeText = DefaultDateTimeText;

  ~TraceState();
};

TraceState& State() {
  static TraceState state;
  return state;
}

std::filesystem::path LogPath(const TraceState& s) {
  return s.directory.empty() ? std::filesystem::path(kLogFileName) : s.directory / kLogFileName;
}

// Every line reaches the file in the system code page.
void WriteRaw(TraceState& s, std::string_view line) {
  if (!s.open) throw host::EInOutError(host::rtlconsts::SFileNotOpen);
  s.file.WriteLine(host::ToSystemCodePage(line));
  s.writtenSinceIdle = true;
}

std::int64_t CounterNow() {
  std::int64_t now = 0;
  host::QueryPerformanceCounter(now);
  return now;
}

// ---- timing levels ------------------------------------------------------------------------

void StartTiming(TraceState& s) {
  if (s.timingStarted) return;
  s.timingStarted = true;
  s.timingList.clear();
  s.frequency = 0;
  if (!host::QueryPerformanceFrequency(s.frequency)) s.frequency = 0;
}

void StopTiming(TraceState& s) {
  s.timingList.clear();
  s.timingStarted = false;
  s.frequency = 0;
}

void OpenTimingLevel(TraceState& s) {
  if (s.frequency == 0) return;
  auto* list = &s.timingList;
  std::int32_t parentLevel = 0;
  while (list->size() == 1) {
    TTimingObject& only = *list->front();
    parentLevel = only.level;
    list = &only.subroutineTimingList;
  }
  auto level = std::make_unique<TTimingObject>();
  level->level = parentLevel + 1;
  level->start = CounterNow();
  list->push_back(std::move(level));
}

// The timing element for the innermost open level, which it closes. Empty when no level is
// open (a closing line without its opening one).
std::string CloseTimingLevel(TraceState& s) {
  if (s.frequency == 0) return "<timing supported=\"false\"/>";
  std::vector<TTimingObject*> chain;
  for (auto* list = &s.timingList; list->size() == 1; list = &list->front()->subroutineTimingList) {
    chain.push_back(list->front().get());
  }
  if (chain.empty()) return {};

  TTimingObject& inner = *chain.back();
  // The call's own duration; nested calls ran inside it and are already part of it.
  const double secs = static_cast<double>(CounterNow() - inner.start) / static_cast<double>(s.frequency);
  inner.subroutineSecs = secs;
  --inner.level;
  std::string element = "<timing secs=\"" + host::FormatFloat("0.000", secs) + "\"/>";
  if (inner.level == 0) {
    s.timingList.clear();  // the outermost element is done
    return element;
  }
  // A nested object whose level dropped to its parent's has closed: fold it into the parent.
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    TTimingObject& parent = *chain[i];
    if (parent.subroutineTimingList.size() == 1 && parent.subroutineTimingList.front()->level == parent.level) {
      parent.subroutineSecs += parent.subroutineTimingList.front()->subroutineSecs;
      parent.subroutineTimingList.clear();
    }
  }
  return element;
}

// ---- opening and closing the log ----------------------------------------------------------

void HookIdle(TraceState& s) {
  s.idleObject = std::make_unique<TIdleObject>();
  host::TApplication* app = host::Application();
  s.previousIdle = app->OnIdle();
  TIdleObject* hook = s.idleObject.get();
  app->SetOnIdle([hook](host::TObject* sender, bool& done) { hook->printSeparator(sender, done); });
}

void UnhookIdle(TraceState& s) {
  host::Application()->SetOnIdle(std::move(s.previousIdle));
  s.previousIdle = nullptr;
}

void OpenLog(TraceState& s) {
  if (!s.open) {
    s.file.Rewrite(LogPath(s).string());
    s.open = true;
    s.countTrace = 0;
    HookIdle(s);
    WriteRaw(s, "<xml version=\"1.0\" standalone=\"yes\">");
    WriteRaw(s, "<audit prod=\"VOSK\">");
    WriteRaw(s, "<start>" + s.dateTimeText() + "</start>");
    s.writtenSinceIdle = false;  // the header alone calls for no separator
  }
  if (diagnoseTiming) StartTiming(s);
}

void CloseLog(TraceState& s) {
  if (s.open) {
    // However the closing lines fare, the file is closed and the idle event handed back.
    struct Finish {
      TraceState& s;
      ~Finish() {
        s.file.Close();
        s.open = false;
        UnhookIdle(s);
      }
    } finish{s};
    WriteRaw(s, "<end>" + s.dateTimeText() + "</end>");
    WriteRaw(s, "</audit>");
    WriteRaw(s, "</xml>");
  }
  s.idleObject.reset();
  StopTiming(s);
}

TraceState::~TraceState() {
  // A log still open when the library goes away is finished so that it stays well formed.
  if (!open) return;
  try {
    WriteRaw(*this, "<end>" + dateTimeText() + "</end>");
    WriteRaw(*this, "</audit>");
    WriteRaw(*this, "</xml>");
  } catch (...) {
  }
  file.Close();
  open = false;
  UnhookIdle(*this);  // the application object outlives the library
}

void SetSwitch(bool& sw, bool value) {
  TraceState& s = State();
  if (value) {
    const bool previous = sw;
    sw = true;
    try {
      OpenLog(s);
    } catch (...) {
      sw = previous;
      throw;
    }
    return;
  }
  sw = false;
  if (!AnySwitchOn()) {
    CloseLog(s);
  } else if (&sw == &diagnoseTiming) {
    StopTiming(s);
  }
}

}  // namespace

void SetDiagnoseBlobs(bool value) { SetSwitch(diagnoseBlobs, value); }
void SetDiagnoseLocate(bool value) { SetSwitch(diagnoseLocate, value); }
void SetDiagnoseGetRecord(bool value) { SetSwitch(diagnoseGetRecord, value); }
void SetDiagnoseNavigate(bool value) { SetSwitch(diagnoseNavigate, value); }
void SetDiagnoseEdit(bool value) { SetSwitch(diagnoseEdit, value); }
void SetDiagnoseDataEvent(bool value) { SetSwitch(diagnoseDataEvent, value); }
void SetDiagnoseRefresh(bool value) { SetSwitch(diagnoseRefresh, value); }
void SetDiagnoseClose(bool value) { SetSwitch(diagnoseClose, value); }
void SetDiagnoseOpen(bool value) { SetSwitch(diagnoseOpen, value); }
void SetDiagnose1590_Open(bool value) { SetSwitch(diagnose1590_Open, value); }
void SetDiagnoseTiming(bool value) { SetSwitch(diagnoseTiming, value); }

// ---- writing ------------------------------------------------------------------------------

void trace(std::string_view line, bool numbered) {
  TraceState& s = State();
  std::string out(line);
  if (diagnoseTiming && s.open) {
    if (!s.timingStarted) StartTiming(s);  // the switch was set without its setter
    if (line.size() >= 5 && line.substr(1, 4) == "diag" && line.find(kDiagClose) == std::string_view::npos) {
      OpenTimingLevel(s);
    } else if (line == kDiagClose) {
      out = CloseTimingLevel(s) + out;
    }
  }
  if (numbered) {
    out += kNumberPrefix;
    out += std::to_string(s.countTrace + 1);
    out += " -->";
  }
  WriteRaw(s, out);
  if (numbered) ++s.countTrace;
}

void trace(std::string_view line, std::string_view detail) {
  std::string out(line);
  out += " [";
  out += detail;
  out += "]";
  WriteRaw(State(), out);
}

void trace(std::string_view line, const char* detail) {
  trace(line, detail != nullptr ? std::string_view(detail) : std::string_view());
}

void Mark(std::string_view text) {
  // Written as they stand: a marked text never opens or closes a timing level.
  TraceState& s = State();
  WriteRaw(s, "<mark>");
  WriteRaw(s, text);
  WriteRaw(s, "</mark>");
}

int getCountTrace() { return State().countTrace; }

// ---- lines --------------------------------------------------------------------------------

std::string diagOpenLine(std::string_view type, std::string_view meth) {
  std::string line = "<diag type=\"";
  line += type;
  line += "\" meth=\"";
  line += meth;
  line += "\">";
  return line;
}

std::string dumpOpenLine(int count) { return "<dump count=\"" + std::to_string(count) + "\">"; }

std::string stateLine(std::string_view name, bool value) {
  std::string line = "<state name=\"";
  line += name;
  line += value ? "\">true</state>" : "\">false</state>";
  return line;
}

std::string stateValLine(std::string_view name, std::string_view value) {
  std::string line = "<state name=\"";
  line += name;
  line += "\" val=\"";
  line += value;
  line += "\" />";
  return line;
}

std::string datumLine(std::string_view name, std::string_view value) {
  std::string line = "<datum name=\"";
  line += name;
  line += "\">";
  line += value;
  line += "</datum>";
  return line;
}

std::string datumLine(std::string_view name, std::int64_t value) {
  return datumLine(name, std::string_view(std::to_string(value)));
}

std::string pathOpenLine(bool refreshing) {
  return refreshing ? "<path refreshing=\"true\">" : "<path refreshing=\"false\">";
}

TKxDiagScope::TKxDiagScope(bool enabled, std::string_view type, std::string_view meth) : FActive(enabled) {
  if (FActive) trace(diagOpenLine(type, meth));
}

TKxDiagScope::~TKxDiagScope() {
  if (!FActive) return;
  try {
    trace(kDiagClose);
  } catch (...) {
    // A diagnostic must not turn into a failure of the traced call.
  }
}

// ---- log file -----------------------------------------------------------------------------

void SetAuditLogDirectory(const std::filesystem::path& directory) { State().directory = directory; }

std::filesystem::path GetAuditLogFileName() { return LogPath(State()); }

bool IsAuditLogOpen() noexcept { return State().open; }

// ---- idle separator -----------------------------------------------------------------------

void TIdleObject::printSeparator(host::TObject* sender, bool& done) {
  TraceState& s = State();
  if (s.open && s.writtenSinceIdle) {
    WriteRaw(s, "<diag type=\"idle\">********************* idle ************* " + s.dateTimeText() + "</diag>");
    s.writtenSinceIdle = false;
  }
  if (s.previousIdle) s.previousIdle(sender, done);
}

namespace detail {

void SetTraceDateTimeText(std::function<std::string()> text) {
  State().dateTimeText = text ? std::move(text) : std::function<std::string()>(DefaultDateTimeText);
}

}  // namespace detail

}  // namespace kx
