#pragma once
// The interface selection on the console: the ports the dialog logic lists, kept in
// memory, and a menu over them read line by line.

#include <cstdio>
#include <istream>
#include <string>
#include <vector>

#include "protocol/interface_dialog.h"

class ConsoleInterfaceList : public InterfaceDialogView {
  public:
    explicit ConsoleInterfaceList(WindowHandle owner) : owner_(owner) {}

    WindowHandle Window() const override { return owner_; }
    void AddPort(const char* name) override;
    bool SelectPort(const char* name) override;
    void ClearSelection() override { selected_ = -1; }
    std::string SelectedPort() const override;

    const std::vector<std::string>& Ports() const { return ports_; }

  private:
    WindowHandle owner_;
    std::vector<std::string> ports_;
    int selected_ = -1;
};

// Shows the listed ports and reads choices from in until one ends the selection: a
// listed port's number or name chooses it and confirms (Okay), an empty line confirms
// the current selection, the language's search key ("s") searches, its cancel key ("c",
// German "a") cancels, and so does the end of the input.
// 1 for Okay, 0 for Cancel, like the dialog.
int RunInterfaceMenu(ConsoleInterfaceList& list, std::istream& in, std::FILE* out);
