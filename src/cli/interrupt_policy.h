#pragma once
// What Ctrl-C does. Before the operator has said Yes to the update's first question
// nothing is under way that a record could tell of, so the first Ctrl-C ends the program
// at once. From then on until the update is over the first Ctrl-C asks the update to
// stop: a download stops at the next block and its own failure path puts the line back
// to 9600 and sets state 1; before the download the step that waits ends as usual and
// every further question is answered No, so nothing new starts on the machine. Either
// way the update ends through its own path and its record is written. A second Ctrl-C
// always ends the program at once.
//
// The stop itself is the run's one stop signal (platform/interrupt.h), which a line's
// child whose parent has gone sets too, without ending the program.

class ConsoleSession;

// Installs the handler, which reads whether the run's session has an update under way.
void InstallInterruptPolicy();

// The operator said Yes to the update's first question.
void UpdateConfirmed(ConsoleSession& session);

// The update is over.
void MachineReleased(ConsoleSession& session);
