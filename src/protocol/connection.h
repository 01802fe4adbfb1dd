#pragma once
// The one current connection to the machine, and who may use it.

#include <memory>

#include "protocol/protokoll_tq8.h"

// The current connection; at most one exists. Only Schnittstelle_initialisieren creates
// it, always after destroying the one before.
extern std::unique_ptr<ProtokollTQ8> pProtokoll;

// Destroys any connection, then opens COM<port> at 9600 baud and asks the machine's
// application state. 1 when pProtokoll holds a connection to an answering machine. With
// fMessages set, a machine that does not answer is reported in a box owned by hWnd.
// Called while the current connection is pinned (from a message that one of its waits
// dispatched), it leaves that connection alone and returns 0 without a message.
int Schnittstelle_initialisieren(WindowHandle hWnd, int port, int fMessages);

// Destroys the current connection, if any (its port closes); a pinned one stays. Whether
// no connection is left.
bool CloseConnection();

// Marks the connection as taken for one whole operation that the operator started (an
// update, the interface selection, the About box's reads). The protocol waits dispatch
// window messages, so such an operation can be started again from inside itself; the
// inner one finds the lease taken and must leave the connection alone. Leases nest only
// in that sense: the outermost one is the only one acquired.
class ConnectionLease {
  public:
    ConnectionLease();
    ~ConnectionLease();
    ConnectionLease(const ConnectionLease&) = delete;
    ConnectionLease& operator=(const ConnectionLease&) = delete;

    bool Acquired() const { return acquired_; }

  private:
    bool acquired_;
};

// Whether an operation holds the connection now.
bool ConnectionBusy();
