// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace flipbook::testing {

// Makes fsync() of the files in one folder wait until released, as a network folder that stopped
// answering does: the save that reaches it hangs with its picture written but not yet safe. Works in
// the programs that link the hanging_fsync library, which puts its own fsync() before the C library's.
// A waiting fsync goes on by itself after two minutes, so a failing test cannot hang its run.
void HangFsyncIn(const std::string& folder);
// Makes fsync() of the folder itself (not of the files in it) fail with the error, as a network
// folder that lost its server between a rename and the folder's flush does: the file has its name, but
// the name may not be on the disk yet.
void FailFolderFsyncOf(const std::string& folder, int error);
// Lets the waiting fsync() calls, and all later ones, go on, and folder flushes succeed again.
void ReleaseHangingFsync();
// How many fsync() calls wait now.
int HangingFsyncs();

}  // namespace flipbook::testing
