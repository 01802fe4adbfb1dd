#include "protocol/connection.h"

#include "support/frontend.h"
#include "support/settings.h"
#include "support/trace.h"

std::unique_ptr<ProtokollTQ8> pProtokoll;

namespace {

constexpr unsigned kTextNotFound = 2423;
constexpr unsigned kCaptionSearch = 2420;

// One thread owns every window and the connection, so a plain flag is enough.
bool gLeaseTaken = false;

}  // namespace

bool CloseConnection() {
    if (pProtokoll && pProtokoll->Pinned()) {
        TraceProtokoll(3, "{cy}CloseConnection: the connection is in use and stays");
        return false;
    }
    pProtokoll.reset();
    return true;
}

int Schnittstelle_initialisieren(WindowHandle hWnd, int port, int fMessages) {
    TraceProtokoll(4, "{cb}Schnittstelle_initialisieren (%d)", port);
    if (!CloseConnection()) {
        TraceProtokoll(4, "{cr}Schnittstelle_initialisieren (%d)", port);
        return 0;
    }
    if (port != -1) {
        TraceProtokoll(4, "{cc}1. Schnittstelle_initialisieren");
        // Opening may show the port's error box, whose message loop may connect anew; that
        // connection's operations have all returned by the time this one replaces it.
        pProtokoll = std::make_unique<ProtokollTQ8>(hWnd, port);
        TraceProtokoll(4, "{cc}2. Schnittstelle_initialisieren; fProtokollAktiv = %d",
                       pProtokoll->fProtokollAktiv);
        if (pProtokoll->fProtokollAktiv == 0) {
            CloseConnection();
        } else if (pProtokoll->GetApplicationActive() == kApplicationInvalid) {
            TraceProtokoll(4, "{cc}3. Schnittstelle_initialisieren; ApplicationActive = INVALID");
            CloseConnection();
            if (fMessages != 0) {
                // The caption is loaded second: LoadText's ring keeps the last four texts.
                const char* text = LoadText(kTextNotFound);
                FrontEndMessageBox(hWnd, text, LoadText(kCaptionSearch), kMbIconExclamation);
            }
        }
    }
    const bool connected = pProtokoll != nullptr;
    TraceProtokoll(4, "{c%c}Schnittstelle_initialisieren (%d)", connected ? 'g' : 'r', port);
    return connected ? 1 : 0;
}

ConnectionLease::ConnectionLease() : acquired_(!gLeaseTaken) {
    gLeaseTaken = true;
}

ConnectionLease::~ConnectionLease() {
    if (acquired_) {
        gLeaseTaken = false;
    }
}

bool ConnectionBusy() {
    return gLeaseTaken;
}
