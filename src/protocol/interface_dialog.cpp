#include "protocol/interface_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "platform/serial_probe.h"
#include "protocol/connection.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "support/settings.h"
#include "support/trace.h"

namespace {

// The dialog's buttons stay usable while a search waits for a port, so Search can be
// pressed again from inside the search. One thread owns the dialog: a flag suffices.
bool gSearching = false;

class SearchRun {
  public:
    SearchRun() : first_(!gSearching) { gSearching = true; }
    ~SearchRun() {
        if (first_) {
            gSearching = false;
        }
    }
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;
    bool First() const { return first_; }

  private:
    bool first_;
};

struct PortName {
    explicit PortName(int port) { std::snprintf(text, sizeof text, "COM%d", port); }
    char text[16];
};

}  // namespace

void InterfaceDialogInit(InterfaceDialogView& view) {
    CloseConnection();
    for (int port = kFirstSearchedPort; port <= kLastSearchedPort; ++port) {
        const PortName name(port);
        if (platform::SerialProbe(name.text, platform::SerialProbeAccess::ReadOnly)) {
            view.AddPort(name.text);
        }
        // After each port, so the selection stands as soon as its port is listed.
        if (nInterface > 0) {
            view.SelectPort(PortName(nInterface).text);
        }
    }
}

int InterfaceDialogOk(InterfaceDialogView& view) {
    const std::string selected = view.SelectedPort();
    // Every listed item is "COM" and the number.
    nInterface = selected.size() < 3 ? -1 : std::atoi(selected.c_str() + 3);
    RegWriteDword(HKEY_CURRENT_USER_ROOT, kProgramKey, kInterfaceValue, nInterface);
    return 1;
}

void InterfaceDialogSearch(InterfaceDialogView& view) {
    const SearchRun run;
    if (!run.First()) {
        TraceProtokoll(3, "{cy}InterfaceDialogSearch: a search is already running");
        return;
    }
    const int port = Schnittstelle_suchen(view);
    if (port == -1) {
        const char* text = LoadText(kTextNotFound);
        FrontEndMessageBox(view.Window(), text, LoadText(kCaptionSearch), kMbIconExclamation);
        return;
    }
    const char* text = FormatText(LoadText(kTextFound), port);
    FrontEndMessageBox(view.Window(), text, LoadText(kCaptionSearch), kMbIconInformation);
    view.SelectPort(PortName(port).text);
}

int Schnittstelle_suchen(InterfaceDialogView& view) {
    TraceProtokoll(4, "{cb}Schnittstelle_suchen");
    for (int port = kFirstSearchedPort; port <= kLastSearchedPort; ++port) {
        const PortName name(port);
        if (!platform::SerialProbe(name.text, platform::SerialProbeAccess::ReadWriteOverlapped)) {
            continue;
        }
        view.SelectPort(name.text);
        if (Schnittstelle_initialisieren(view.Window(), port, 0) == 0) {
            continue;
        }
        const int state = pProtokoll->GetApplicationActive();
        CloseConnection();
        if (state != kApplicationInvalid) {
            TraceProtokoll(4, "{cg}*Schnittstelle_suchen: COM%d", port);
            return port;
        }
    }
    view.ClearSelection();
    TraceProtokoll(4, "{cr}*Schnittstelle_suchen: -1");
    return -1;
}
