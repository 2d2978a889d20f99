// The showcase: what the library can do so far. For now that is the platform underneath it:
// components and their owners, NAME=value parameter lists, sorted lists, timers driven by the
// application object, and the machine it runs on.
#include <cstdio>
#include <string>

#include "platform/rtl/application.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/os.h"

extern "C" const char* kxplatform_version();
extern "C" const char* kxcommon_version();

namespace {

using namespace host;

// A component that reports what its owner's tree tells it.
class Listener : public TComponent {
 public:
  using TComponent::TComponent;
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent != this) {
      std::printf("    %s hears that %s is going away\n", Name().c_str(), AComponent->Name().c_str());
    }
  }
};

void ShowComponents() {
  std::printf("Components\n");
  auto* module = TComponent::Create<TDataModule>(Application());
  module->SetName("DataModule1");
  TComponent::Create<Listener>(module)->SetName("Session1");
  auto* table = TComponent::Create<TComponent>(module);
  table->SetName("Table1");
  TComponent::Create<TComponent>(module)->SetName("Table2");
  std::printf("  %s owns:", module->Name().c_str());
  for (int i = 0; i < module->ComponentCount(); ++i) std::printf(" %s", module->Components(i)->Name().c_str());
  std::printf("\n");
  try {
    TComponent::Create<TComponent>(module)->SetName("table2");
  } catch (const EComponentError& e) {
    std::printf("  naming another one table2: %s\n", e.Message().c_str());
  }
  std::printf("  freeing Table1:\n");
  delete table;
  std::printf("  freeing the application's components frees DataModule1 and all it owns\n");
  Application()->DestroyComponents();
}

void ShowLists() {
  std::printf("Parameter lists\n");
  TStringList params;
  params.SetText("SERVER NAME=localhost\nDATABASE NAME=DEMODATA\nOPEN MODE=READ/WRITE\n");
  params.SetValues("OPEN MODE", "READ ONLY");
  params.SetValues("DATABASE NAME", "");  // an empty value removes the line
  std::printf("  %s\n", params.CommaText().c_str());
  std::printf("  server (names ignore case): %s\n", params.Values("Server Name").c_str());

  TStringList passwords;
  passwords.SetSorted(true);  // duplicates are ignored by default
  for (const char* p : {"swordfish", "Alpha", "swordfish", "beta"}) passwords.Add(p);
  std::printf("  sorted passwords without duplicates: %s\n", passwords.CommaText().c_str());
}

void ShowTimers() {
  std::printf("Timers\n");
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(10);
  timer.SetOnTimer([&](TObject*) {
    std::printf("  tick %d\n", ++ticks);
    if (ticks == 3) Application()->Terminate();
  });
  std::uint64_t start = GetTickCount64();
  Application()->Run();
  std::printf("  three ticks of 10 ms took %llu ms\n", static_cast<unsigned long long>(GetTickCount64() - start));
}

}  // namespace

int main() {
  std::printf("Kestrin data-access library demo\n");
  std::printf("  platform %s, common %s\n", kxplatform_version(), kxcommon_version());
  std::printf("  running on %s: %s\n", host::GetComputerName().c_str(), host::GetOSVersion().ToString().c_str());
  ShowComponents();
  ShowLists();
  ShowTimers();
  return 0;
}
