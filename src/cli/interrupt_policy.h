#pragma once
// What Ctrl-C does. Before the operator has confirmed the version overview the machine
// has only been read, so the first Ctrl-C ends the program at once. From then on until
// the update is over the machine may run at 38400 baud with its flash half written:
// the first Ctrl-C asks the download to stop at the next block, and the update's own
// failure path puts the line back to 9600, sets state 1 and writes the record. A second
// Ctrl-C always ends the program at once.

// Installs the handler and watches the console's questions for the overview's Yes.
void InstallInterruptPolicy();

// The update that touched the machine is over.
void MachineReleased();

// Whether a Ctrl-C came during this run.
bool Interrupted();
