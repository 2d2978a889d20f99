// TCustomConnection: the base of database connection components.
//
// It keeps the Connected state with its before/after events, and a list of clients (datasets
// and others) that are told when the connection opens or closes. Connecting and disconnecting
// themselves are the descendants' work (DoConnect, DoDisconnect, GetConnected).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/db/dataset.h"
#include "platform/rtl/component.h"

namespace host {

using TConnectChangeEvent = std::function<void(TObject* Sender, bool Connecting)>;
using TLoginEvent =
    std::function<void(TObject* Sender, const std::string& Username, const std::string& Password)>;

class TCustomConnection : public TComponent {
 public:
  explicit TCustomConnection(TComponent* AOwner);
  ~TCustomConnection() override;

  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  virtual bool GetConnected() { return false; }
  // While the component is being read only the wish is kept; Loaded applies it.
  virtual void SetConnected(bool Value);
  bool GetLoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }

  // The registered clients that are datasets, in registration order.
  int DataSetCount() const;
  TDataSet* DataSets(int Index) const;
  // Adds a client (once); Event, when given, hears of every connect and disconnect.
  virtual void RegisterClient(TObject* Client, TConnectChangeEvent Event = nullptr);
  virtual void UnRegisterClient(TObject* Client);

  const TNotifyEvent& GetAfterConnect() const { return FAfterConnect; }
  void SetAfterConnect(TNotifyEvent Value) { FAfterConnect = std::move(Value); }
  const TNotifyEvent& GetAfterDisconnect() const { return FAfterDisconnect; }
  void SetAfterDisconnect(TNotifyEvent Value) { FAfterDisconnect = std::move(Value); }
  const TNotifyEvent& GetBeforeConnect() const { return FBeforeConnect; }
  void SetBeforeConnect(TNotifyEvent Value) { FBeforeConnect = std::move(Value); }
  const TNotifyEvent& GetBeforeDisconnect() const { return FBeforeDisconnect; }
  void SetBeforeDisconnect(TNotifyEvent Value) { FBeforeDisconnect = std::move(Value); }
  const TLoginEvent& GetOnLogin() const { return FOnLogin; }
  void SetOnLogin(TLoginEvent Value) { FOnLogin = std::move(Value); }

  // Connects when the stored component asked for it; a failure while designing goes to the
  // application's exception handler.
  void Loaded() override;

 protected:
  virtual void DoConnect() {}
  virtual void DoDisconnect() {}
  // Tells the clients that the connection opened (true) or is closing (false).
  virtual void SendConnectEvent(bool Connecting);
  bool GetStreamedConnected() const { return FStreamedConnected; }
  void BeforeDestruction() override;

 private:
  struct Client {
    TObject* Object;
    TConnectChangeEvent Event;
  };
  std::vector<Client> FClients;
  bool FLoginPrompt = false;
  bool FStreamedConnected = false;
  TNotifyEvent FAfterConnect;
  TNotifyEvent FAfterDisconnect;
  TNotifyEvent FBeforeConnect;
  TNotifyEvent FBeforeDisconnect;
  TLoginEvent FOnLogin;
};

}  // namespace host
