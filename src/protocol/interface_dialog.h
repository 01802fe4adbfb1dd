#pragma once
// What the interface selection dialog does, apart from any window: the list of ports
// that open, the selection, the search with its messages, and storing the choice. The
// Win32 dialog and the console's menu are views over it.

#include <string>

#include "platform/types.h"

inline constexpr int kFirstSearchedPort = 1;
inline constexpr int kLastSearchedPort = 8;

// The port list of the dialog (a combo box in the Win32 program).
class InterfaceDialogView {
  public:
    virtual ~InterfaceDialogView() = default;
    // Owner of the dialog's message boxes and notification window of the ports tried.
    virtual WindowHandle Window() const = 0;
    virtual void AddPort(const char* name) = 0;
    // Selects the item with that text, searching the whole list; false (and the
    // selection unchanged) when there is none.
    virtual bool SelectPort(const char* name) = 0;
    virtual void ClearSelection() = 0;
    // The selected item's text, "" for none.
    virtual std::string SelectedPort() const = 0;
};

// On opening: disconnects (unless an operation holds the connection), lists COM1..COM8 that can be
// opened and selects nInterface's.
void InterfaceDialogInit(InterfaceDialogView& view);

// OK: takes the selection into nInterface (-1 for none), stores it as "Interface" and
// returns the dialog's result 1.
int InterfaceDialogOk(InterfaceDialogView& view);

// Search: runs Schnittstelle_suchen and tells the operator what it found, selecting it.
// Pressed again while a search runs (from one of its waits), it does nothing.
void InterfaceDialogSearch(InterfaceDialogView& view);

// Tries COM1..COM8 in turn, selecting each in the view; the port number where the
// machine answered, or -1. Never leaves a connection behind.
int Schnittstelle_suchen(InterfaceDialogView& view);
