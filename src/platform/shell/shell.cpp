// SPDX-License-Identifier: GPL-3.0-or-later
// The shell library needs at least one source of its own.
namespace flipbook {}
