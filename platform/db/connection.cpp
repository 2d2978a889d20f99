#include "platform/db/connection.h"

#include <algorithm>

#include "platform/rtl/application.h"

namespace host {

TCustomConnection::TCustomConnection(TComponent* AOwner) : TComponent(AOwner) {}

TCustomConnection::~TCustomConnection() = default;

void TCustomConnection::BeforeDestruction() {
  TComponent::BeforeDestruction();
  try {
    SetConnected(false);
  } catch (...) {
    // Destruction cannot fail.
  }
}

void TCustomConnection::SetConnected(bool Value) {
  if (ComponentState().Contains(csReading)) {
    FStreamedConnected = Value;
    return;
  }
  if (Value == GetConnected()) return;
  if (Value) {
    if (FBeforeConnect) FBeforeConnect(this);
    DoConnect();
    SendConnectEvent(true);
    if (FAfterConnect) FAfterConnect(this);
  } else {
    if (FBeforeDisconnect) FBeforeDisconnect(this);
    SendConnectEvent(false);
    DoDisconnect();
    if (FAfterDisconnect) FAfterDisconnect(this);
  }
}

void TCustomConnection::SendConnectEvent(bool Connecting) {
  // By index, on a copy of the entry: a client may unregister while it is told.
  for (std::size_t i = 0; i < FClients.size(); ++i) {
    const Client client = FClients[i];
    if (client.Event) client.Event(this, Connecting);
    if (auto* dataSet = dynamic_cast<TDataSet*>(client.Object)) {
      dataSet->DataEvent(deConnectChange, Connecting ? 1 : 0);
    }
  }
}

int TCustomConnection::DataSetCount() const {
  return static_cast<int>(std::count_if(FClients.begin(), FClients.end(), [](const Client& c) {
    return dynamic_cast<TDataSet*>(c.Object) != nullptr;
  }));
}

TDataSet* TCustomConnection::DataSets(int Index) const {
  int n = 0;
  for (const Client& c : FClients) {
    if (auto* dataSet = dynamic_cast<TDataSet*>(c.Object)) {
      if (n++ == Index) return dataSet;
    }
  }
  throw EListError(Format("List index out of bounds (%d)", {Index}));
}

void TCustomConnection::RegisterClient(TObject* Client, TConnectChangeEvent Event) {
  auto it = std::find_if(FClients.begin(), FClients.end(), [Client](const auto& c) { return c.Object == Client; });
  if (it != FClients.end()) {
    if (Event) it->Event = std::move(Event);
    return;
  }
  FClients.push_back({Client, std::move(Event)});
}

void TCustomConnection::UnRegisterClient(TObject* Client) {
  auto it = std::find_if(FClients.begin(), FClients.end(), [Client](const auto& c) { return c.Object == Client; });
  if (it != FClients.end()) FClients.erase(it);
}

void TCustomConnection::Loaded() {
  TComponent::Loaded();
  try {
    if (FStreamedConnected) SetConnected(true);
  } catch (...) {
    if (ComponentState().Contains(csDesigning)) {
      Application()->HandleException(this);
    } else {
      throw;
    }
  }
}

}  // namespace host
