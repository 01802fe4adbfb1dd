#pragma once
// What Ctrl-C does. Before the operator has said Yes to the update's first question
// nothing is under way that a record could tell of, so the first Ctrl-C ends the program
// at once. From then on until the update is over the first Ctrl-C asks the update to
// stop: a download stops at the next block and its own failure path puts the line back
// to 9600 and sets state 1; before the download the step that waits ends as usual and
// every further question is answered No, so nothing new starts on the machine. Either
// way the update ends through its own path and its record is written. A second Ctrl-C
// always ends the program at once.

// Installs the handler and watches the console's questions for the update's first Yes.
void InstallInterruptPolicy();

// Someone the run answers to has gone (a line's parent): the run stops as after a first
// Ctrl-C, without ending the program, so that the update ends through its own path and
// keeps its record. Safe on any thread and inside a signal handler; more than once too.
void StopAsFirstInterrupt();

// The update is over.
void MachineReleased();

// Whether a Ctrl-C came during this run.
bool Interrupted();
