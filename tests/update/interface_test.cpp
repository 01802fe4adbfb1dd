// The interface selection's logic and the search over COM1..COM8, with silent ports
// beside the machine.

#include <gtest/gtest.h>

#include <memory>

#include "platform/serial.h"
#include "protocol/connection.h"
#include "protocol/interface_dialog.h"
#include "pty_peer.h"
#include "support/frontend.h"
#include "support/globals.h"
#include "update_fixture.h"

namespace {

class RecordingView : public InterfaceDialogView {
  public:
    WindowHandle Window() const override { return kOwner; }
    void AddPort(const char* name) override { ports.emplace_back(name); }
    bool SelectPort(const char* name) override {
        selections.emplace_back(name);
        for (size_t i = 0; i < ports.size(); ++i) {
            if (ports[i] == name) {
                selected = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }
    void ClearSelection() override { selected = -1; }
    std::string SelectedPort() const override {
        return selected < 0 ? std::string() : ports[static_cast<size_t>(selected)];
    }

    std::vector<std::string> ports;
    std::vector<std::string> selections;
    int selected = -1;
};

class InterfaceSelection : public UpdateTest {
  protected:
    // Silent ports on COM1 and COM2.
    void BindSilentPorts() {
        for (int port : {1, 2}) {
            silent_.push_back(std::make_unique<PtyPeer>());
            ASSERT_TRUE(silent_.back()->Ok());
            platform::MapSerialPort(port, silent_.back()->SlavePath());
        }
    }
    std::vector<std::unique_ptr<PtyPeer>> silent_;
};

}  // namespace

TEST_F(InterfaceSelection, OpeningListsThePortsThatOpenSelectsTheStoredOneAndDisconnects) {
    BindSilentPorts();
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    nInterface = 2;
    RecordingView view;
    InterfaceDialogInit(view);
    EXPECT_EQ(pProtokoll, nullptr);
    EXPECT_EQ(view.ports, (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(view.SelectedPort(), "COM2");
    EXPECT_EQ(InterfaceDialogOk(view), 1);
    EXPECT_EQ(nInterface, 2);
    EXPECT_EQ(StoredInterface(), 2);
}

TEST_F(InterfaceSelection, AStoredPortThatIsGoneShowsNoSelectionAndOkStoresMinusOne) {
    nInterface = 6;
    RecordingView view;
    InterfaceDialogInit(view);
    EXPECT_EQ(view.ports, (std::vector<std::string>{"COM3"}));
    EXPECT_EQ(view.SelectedPort(), "");
    EXPECT_EQ(InterfaceDialogOk(view), 1);
    EXPECT_EQ(nInterface, -1);
    EXPECT_EQ(StoredInterface(), -1);
}

TEST_F(InterfaceSelection, APortHeldElsewhereIsNeitherListedNorTried) {
    const platform::SerialHandle held = platform::SerialOpen("COM3");
    ASSERT_NE(held, platform::kInvalidSerialHandle);
    RecordingView view;
    InterfaceDialogInit(view);
    EXPECT_TRUE(view.ports.empty());
    view.selections.clear();
    EXPECT_EQ(Schnittstelle_suchen(view), -1);
    EXPECT_TRUE(view.selections.empty());
    platform::SerialClose(held);
    EXPECT_TRUE(sim_.Transcript().empty());
}

TEST_F(InterfaceSelection, TheSearchTriesEachPortInTurnAndFindsTheMachineOnCom3) {
    BindSilentPorts();
    nInterface = 1;
    RecordingView view;
    InterfaceDialogInit(view);
    view.selections.clear();
    InterfaceDialogSearch(view);
    EXPECT_EQ(view.selections, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM3"}));
    EXPECT_EQ(view.SelectedPort(), "COM3");
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].text, "Kovra TQ VIII found at COM3");
    EXPECT_EQ(scripted::Boxes()[0].caption, "Seraching Interface");
    EXPECT_EQ(scripted::Boxes()[0].type, kMbIconInformation);
    EXPECT_EQ(pProtokoll, nullptr) << "the search leaves no connection behind";
    EXPECT_EQ(nInterface, 1) << "found is not chosen until OK";
    EXPECT_EQ(StoredInterface(), -99);
    // The machine was asked twice: by the connection and by the search itself.
    EXPECT_EQ(LinesStarting("CMD 8").size(), 2U);
}

TEST_F(InterfaceSelection,
       ASearchThatFindsNothingClearsTheSelectionAndSaysHowToStartTheBootloader) {
    sim_.InjectSilence(8);
    RecordingView view;
    InterfaceDialogInit(view);
    view.SelectPort("COM3");
    InterfaceDialogSearch(view);
    EXPECT_EQ(view.SelectedPort(), "");
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].type, kMbIconExclamation);
    EXPECT_EQ(scripted::Boxes()[0].text.rfind("The TQ VIII could not be found!", 0), 0U);
    EXPECT_EQ(pProtokoll, nullptr);
}

TEST_F(InterfaceSelection, InitialisingWithMinusOneDisconnectsWithoutAMessage) {
    ASSERT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 1), 1);
    EXPECT_EQ(Schnittstelle_initialisieren(kOwner, -1, 1), 0);
    EXPECT_EQ(pProtokoll, nullptr);
    EXPECT_TRUE(scripted::Boxes().empty());
    EXPECT_EQ(trace_.Count("{cr}Schnittstelle_initialisieren (-1)"), 1U);
    sim_.InjectSilence(8, 1);
    EXPECT_EQ(Schnittstelle_initialisieren(kOwner, kMachinePort, 0), 0);
    EXPECT_TRUE(scripted::Boxes().empty());
}

TEST_F(InterfaceSelection, WhatAWaitDispatchesLeavesTheSearchItsConnection) {
    BindSilentPorts();
    RecordingView view;
    InterfaceDialogInit(view);
    view.selections.clear();
    // Dispatched while COM1's silence is awaited: Search pressed again, then the calls
    // through which any other command would take the line.
    int reconnected = -1;
    scripted::QueueMessage([&] {
        InterfaceDialogSearch(view);
        reconnected = Schnittstelle_initialisieren(kOwner, kMachinePort, 1);
        CloseConnection();
    });
    InterfaceDialogSearch(view);
    EXPECT_EQ(scripted::DispatchedMessages(), 1U);
    EXPECT_EQ(reconnected, 0);
    EXPECT_EQ(view.selections, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM3"}));
    ASSERT_EQ(scripted::Boxes().size(), 1U);
    EXPECT_EQ(scripted::Boxes()[0].text, "Kovra TQ VIII found at COM3");
    EXPECT_EQ(pProtokoll, nullptr);
}
