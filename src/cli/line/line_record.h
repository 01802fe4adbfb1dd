#pragma once
// The records that the parent of a line writes or amends itself, where a child could not
// tell what happened to its machine.

#include <chrono>
#include <string>

#include "bundle/bundle_check.h"

#include "cli/line/line_machine.h"

// The record of a machine whose child ended abnormally after it was told to go, from what
// the parent knows: a failed download, and how the child ended.
std::string LostChildRecord(const LineMachine& machine);

// The child's record of the No that a refused line gave it, as the refusal it was: outcome
// "refused", the refusal's exit code, and why.
std::string RefusedRecord(const std::string& childRecord, const std::string& reason);

// The record of a machine of a line whose bundle was refused before any machine was
// reached: outcome "bundle_refused", with the check.
std::string BundleRefusedRecord(const std::string& port, const bundle::BundleCheck& check,
                                std::chrono::system_clock::time_point start);
