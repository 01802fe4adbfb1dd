#pragma once
// The child of an update of several machines (line_child.cpp).

#include "cli/commands.h"

// Called first of all in a line's child: from here on its stdout carries only the lines
// for its parent, and a parent that has gone stops the update as a Ctrl-C does.
void StartLineChildOutput(ConsoleSession& session);

// One update for the child's port, answering the parent's go or no-go at the version
// overview.
int RunLineChild(ConsoleSession& session, UpdateOptions options);
